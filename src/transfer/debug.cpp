#include "transfer/debug.h"

#include "transfer/LineListBox.h"

#include <QWindow>

TDebugForm* DebugForm = nullptr;

TDebugForm::TDebugForm(QWidget* parent)
    : QWidget(parent, Qt::Window) {
    CreateControls();
}

void TDebugForm::Append(const QString& Line) {
    DebugListBox->Append(Line);
    emit Appended(Line);
}

const QStringList& TDebugForm::Lines() const {
    return DebugListBox->Lines();
}

bool TDebugForm::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    // The size is meant to include the frame. A window manager frames the window only after it
    // is first shown, and tells of it with a move, so look again until a frame shows up. Without
    // one the client area is the whole window and the first size holds.
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::ActivationChange:
        if (!Framed && windowHandle()) {
            const QMargins frame = windowHandle()->frameMargins();
            if (!frame.isNull()) {
                Framed = true;
                resize(OuterSize.shrunkBy(frame));
            }
        }
        break;
    default:
        break;
    }
    return handled;
}

bool TraceShown() {
    return DebugForm && DebugForm->isVisible();
}

void DebugWrite(const QString& Text) {
    if (TraceShown()) {
        DebugForm->Append(Text);
    }
}
