#include "ui/ScreenCentre.h"

#include <QApplication>
#include <QScreen>
#include <QShowEvent>
#include <QWidget>
#include <QWindow>

namespace {

QMargins FrameOf(const QWidget* window) {
    return window->windowHandle() ? window->windowHandle()->frameMargins() : QMargins();
}

// The frame the window manager gives the program's windows, as one already framed shows it.
QMargins FrameOfOthers(const QWidget* except) {
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other != except && other->isVisible() && !FrameOf(other).isNull()) {
            return FrameOf(other);
        }
    }
    return {};
}

} // namespace

TScreenCentre::TScreenCentre(QWidget* Window)
    : QObject(Window)
    , Window(Window) {
    Window->installEventFilter(this);
}

bool TScreenCentre::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Window) {
        return false;
    }
    switch (event->type()) {
    case QEvent::Show:
        if (!event->spontaneous()) {
            // A hidden window forgets its frame; the one it had is the one it gets again.
            Assumed = Framed ? Assumed : FrameOfOthers(Window);
            Centre(Assumed);
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::ActivationChange:
        if (!Framed && !FrameOf(Window).isNull()) {
            Framed = true;
            if (FrameOf(Window) != Assumed) {
                Assumed = FrameOf(Window);
                Centre(Assumed);
            }
        }
        break;
    default:
        break;
    }
    return false;
}

void TScreenCentre::Centre(const QMargins& Frame) {
    const QScreen* screen = Window->screen() ? Window->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    const QSize outer = Window->size().grownBy(Frame);
    // Placed by its client area, which leaves the window manager nothing to guess.
    const QPoint frame(area.x() + (area.width() - outer.width()) / 2,
                       area.y() + (area.height() - outer.height()) / 2);
    Window->setGeometry(QRect(frame + QPoint(Frame.left(), Frame.top()), Window->size()));
}
