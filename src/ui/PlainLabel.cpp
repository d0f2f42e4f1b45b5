#include "ui/PlainLabel.h"

#include <QLabel>

QLabel* PlainLabel(QWidget* parent, const QString& text, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->move(x, y);
    label->adjustSize();
    return label;
}
