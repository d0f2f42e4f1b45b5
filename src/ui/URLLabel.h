#pragma once

#include <QColor>
#include <QLabel>
#include <functional>

// A label that behaves like a link: the hand cursor, a colour of its own while the pointer is
// over it and while a button is held on it, and, when Executable, its caption opened through
// the desktop as soon as any mouse button goes down on it.
class TURLLabel : public QLabel {
    Q_OBJECT

public:
    explicit TURLLabel(QWidget* Owner = nullptr);

    bool Executable = false;
    // The colour saved when the pointer last entered.
    QColor NormalColor = Qt::black;

    bool HotTrack() const { return FHotTrack; }
    void SetHotTrack(bool Value);
    QColor HotColor() const { return FHotColor; }
    void SetHotColor(const QColor& Value);
    QColor PushedColor() const { return FPushedColor; }
    void SetPushedColor(const QColor& Value);
    int Cursor() const { return FCursor; }
    void SetCursor(int Number);
    QColor FontColor() const;

    void MouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, QPoint At);
    void MouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, QPoint At);

    // Opens an address or a file through the desktop; tests put their own in its place.
    static std::function<void(const QString&)> Opener;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void SetFontColor(const QColor& Color);

    bool FHotTrack = true;
    QColor FHotColor{0, 255, 255};
    QColor FPushedColor{255, 0, 0};
    int FCursor = 0;
};
