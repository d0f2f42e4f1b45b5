#include "debug.h"

#include "LineListBox.h"

#include <QVBoxLayout>
#include <QWindow>

TDebugForm* DebugForm = nullptr;

namespace {

constexpr QSize OuterSize(356, 272);

} // namespace

TDebugForm::TDebugForm(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , DebugListBox(new TLineListBox(this)) {
    setObjectName(QStringLiteral("DebugForm"));
    setWindowTitle(QStringLiteral("DebugForm"));
    DebugListBox->setObjectName(QStringLiteral("DebugListBox"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(DebugListBox);
    move(690, 133);
    resize(OuterSize);
}

void TDebugForm::Append(const QString& Line) {
    DebugListBox->Append(Line);
    emit Appended(Line);
}

const QStringList& TDebugForm::Lines() const {
    return DebugListBox->Lines();
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
