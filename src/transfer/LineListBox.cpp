#include "transfer/LineListBox.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

TLineListBox::TLineListBox(QWidget* parent)
    : QAbstractScrollArea(parent) {
    QFont small = font();
    small.setPixelSize(ItemHeight - 1);
    setFont(small);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
}

void TLineListBox::Append(const QString& Line) {
    FLines.append(Line);
    UpdateScrollRange();
    const int row = int(FLines.size()) - 1 - TopIndex();
    if (row <= VisibleCount()) {
        viewport()->update(0, row * ItemHeight, viewport()->width(), ItemHeight);
    }
}

int TLineListBox::TopIndex() const {
    return verticalScrollBar()->value();
}

int TLineListBox::VisibleCount() const {
    return viewport()->height() / ItemHeight;
}

void TLineListBox::UpdateScrollRange() {
    QScrollBar* bar = verticalScrollBar();
    // The range is always exact, but the bar is repainted at most every 50 ms: an upload adds
    // lines far faster than anybody reads them, and a repaint for each would cost more than
    // the upload itself.
    if (bar->updatesEnabled()) {
        bar->setUpdatesEnabled(false);
        QTimer::singleShot(50, this, [bar] { bar->setUpdatesEnabled(true); });
    }
    bar->setPageStep(qMax(1, VisibleCount()));
    bar->setRange(0, qMax(0, int(FLines.size()) - VisibleCount()));
}

void TLineListBox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
}

void TLineListBox::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Text));
    const int first = TopIndex() + event->rect().top() / ItemHeight;
    const int last = qMin(int(FLines.size()) - 1, TopIndex() + event->rect().bottom() / ItemHeight);
    for (int index = first; index <= last; ++index) {
        const QRect line(2, (index - TopIndex()) * ItemHeight, viewport()->width() - 2, ItemHeight);
        painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         FLines.at(index));
    }
}
