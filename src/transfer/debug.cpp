#include "debug.h"

#include "DebugLines.h"

#include <QListView>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <QWindow>

TDebugForm* DebugForm = nullptr;

namespace {

constexpr QSize OuterSize(356, 272);
constexpr int ItemHeight = 12;

class FixedHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), ItemHeight};
    }
};

} // namespace

TDebugForm::TDebugForm(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , DebugListBox(new QListView(this))
    , Model(new TDebugLines(this)) {
    setObjectName(QStringLiteral("DebugForm"));
    setWindowTitle(QStringLiteral("DebugForm"));
    DebugListBox->setObjectName(QStringLiteral("DebugListBox"));
    DebugListBox->setModel(Model);
    DebugListBox->setItemDelegate(new FixedHeightDelegate(DebugListBox));
    // Every line has the same height, so the view never measures the lines one by one.
    DebugListBox->setUniformItemSizes(true);
    DebugListBox->setTextElideMode(Qt::ElideNone);
    DebugListBox->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(DebugListBox);
    move(690, 133);
    resize(OuterSize);
}

void TDebugForm::Append(const QString& Line) {
    Model->Append(Line);
}

const QStringList& TDebugForm::Lines() const {
    return Model->Lines();
}

void TDebugForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The size is meant to include the frame, which is only known once the window exists.
    if (!Placed && windowHandle()) {
        Placed = true;
        const QMargins frame = windowHandle()->frameMargins();
        resize(OuterSize.shrunkBy(frame));
    }
}

void DebugWrite(const QString& Text) {
    if (DebugForm && DebugForm->isVisible()) {
        DebugForm->Append(Text);
    }
}
