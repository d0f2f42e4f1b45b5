#pragma once

#include <QString>
#include <optional>

// Reads an integer the way users type ports: optional leading blanks, an optional sign, then
// decimal digits or hexadecimal digits introduced by "$", "x", "X", "0x" or "0X". Nothing may
// follow, and the value must fit a signed 32-bit integer.
std::optional<qint32> TryStrToInt(QStringView Text);
