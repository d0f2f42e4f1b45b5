#include "transfer/ScreenPlace.h"

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

TScreenPlace::TScreenPlace(QWidget* Window, std::optional<QPoint> At)
    : QObject(Window)
    , Window(Window)
    , At(At) {
    Window->installEventFilter(this);
}

bool TScreenPlace::eventFilter(QObject* watched, QEvent* event) {
    if (watched != Window) {
        return false;
    }
    switch (event->type()) {
    case QEvent::Show:
        if (!event->spontaneous()) {
            // A hidden window forgets its frame; the one it had is the one it gets again.
            Assumed = Framed ? Assumed : FrameOfOthers(Window);
            Place(Assumed);
        }
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::ActivationChange:
        if (!Framed && !FrameOf(Window).isNull()) {
            Framed = true;
            if (FrameOf(Window) != Assumed) {
                Assumed = FrameOf(Window);
                Place(Assumed);
            }
        }
        break;
    default:
        break;
    }
    return false;
}

void TScreenPlace::Place(const QMargins& Frame) {
    const QScreen* screen = Window->screen() ? Window->screen() : QGuiApplication::primaryScreen();
    const QPoint frame = FramePlace(screen->availableGeometry(), Window->size().grownBy(Frame), At);
    // Placed by its client area, which leaves the window manager nothing to guess.
    Window->setGeometry(QRect(frame + QPoint(Frame.left(), Frame.top()), Window->size()));
}

QPoint FramePlace(const QRect& Area, const QSize& Outer, std::optional<QPoint> At) {
    if (!At) {
        return {Area.x() + (Area.width() - Outer.width()) / 2,
                Area.y() + (Area.height() - Outer.height()) / 2};
    }
    const auto within = [](int at, int low, int length, int room) {
        return qMax(low, qMin(at, low + room - length));
    };
    return {within(At->x(), Area.x(), Outer.width(), Area.width()),
            within(At->y(), Area.y(), Outer.height(), Area.height())};
}
