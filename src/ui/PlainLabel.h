#pragma once

class QLabel;
class QString;
class QWidget;

// A label at (x, y), as wide as its text, that shows its text literally: no markup, no
// accelerator.
QLabel* PlainLabel(QWidget* parent, const QString& text, int x, int y);
