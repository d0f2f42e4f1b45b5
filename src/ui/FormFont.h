#pragma once

#include <QFont>

// The font of the program's windows: MS P Gothic at 12 pixels where it is installed, otherwise
// IPA's proportional gothic, which has the same metrics.
QFont FormFont();
