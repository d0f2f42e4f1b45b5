#pragma once

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <optional>

class QWidget;

// Places a window on its screen, frame included, every time it is shown: centred in the area
// that panels leave free, or at a place of its own, moved only as far as it must be to lie wholly
// in that area (a large scale factor or a small screen would put part of it out of reach). Qt
// knows a window's frame only once the window manager has framed it, so at the first showing it
// guesses, and a dialog came up off its place; here the frame of a window already on the screen
// stands in, and the window is placed again as soon as its own frame is known.
class TScreenPlace : public QObject {
public:
    // Keeps the top left corner of Window's frame at At, as far as the free area allows; centres
    // Window without one.
    explicit TScreenPlace(QWidget* Window, std::optional<QPoint> At = std::nullopt);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Place(const QMargins& Frame);

    QWidget* const Window;
    const std::optional<QPoint> At;
    // Whether the window manager has framed the window, and the frame it is placed with.
    bool Framed = false;
    QMargins Assumed;
};

// Where a frame of size Outer goes in Area: centred, or at At moved as little as it takes to lie
// within Area. A frame larger than Area shows its top left corner, where its title bar is.
QPoint FramePlace(const QRect& Area, const QSize& Outer, std::optional<QPoint> At);
