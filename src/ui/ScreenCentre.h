#pragma once

#include <QMargins>
#include <QObject>

class QWidget;

// Centres a window on its screen, frame included, every time it is shown. Qt knows a window's
// frame only once the window manager has framed it, so at the first showing it guesses, and a
// dialog came up off centre; here the frame of a window already on the screen stands in, and the
// window is centred again as soon as its own frame is known.
class TScreenCentre : public QObject {
public:
    explicit TScreenCentre(QWidget* Window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Centre(const QMargins& Frame);

    QWidget* const Window;
    // Whether the window manager has framed the window, and the frame it is centred with.
    bool Framed = false;
    QMargins Assumed;
};
