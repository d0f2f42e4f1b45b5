#include "ui/URLLabel.h"

#include "ui/CursorTable.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

std::function<void(const QString&)> TURLLabel::Opener = [](const QString& Address) {
    QDesktopServices::openUrl(QUrl::fromUserInput(Address, QString(), QUrl::AssumeLocalFile));
};

TURLLabel::TURLLabel(QWidget* Owner)
    : QLabel(Owner) {
    setTextFormat(Qt::PlainText);
    SetCursorImage(crHandPoint, LoadHandPointCursor());
    SetCursor(crHandPoint);
    SetFontColor(NormalColor);
}

void TURLLabel::SetHotTrack(bool Value) {
    if (Value != FHotTrack) {
        FHotTrack = Value;
        update();
    }
}

void TURLLabel::SetHotColor(const QColor& Value) {
    if (Value != FHotColor) {
        FHotColor = Value;
        update();
    }
}

void TURLLabel::SetPushedColor(const QColor& Value) {
    if (Value != FPushedColor) {
        FPushedColor = Value;
        update();
    }
}

void TURLLabel::SetCursor(int Number) {
    FCursor = Number;
    setCursor(CursorImage(Number));
}

QColor TURLLabel::FontColor() const {
    return palette().color(QPalette::WindowText);
}

void TURLLabel::SetFontColor(const QColor& Color) {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, Color);
    setPalette(colours);
    update();
}

void TURLLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    if (FHotTrack) {
        NormalColor = FontColor();
        SetFontColor(FHotColor);
    }
}

void TURLLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    if (FHotTrack) {
        SetFontColor(NormalColor);
    }
}

void TURLLabel::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    MouseDown(event->button(), event->modifiers(), event->position().toPoint());
}

void TURLLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    MouseUp(event->button(), event->modifiers(), event->position().toPoint());
}

void TURLLabel::MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, QPoint) {
    if (FHotTrack) {
        SetFontColor(FPushedColor);
    }
    // On the press of any button; what the desktop makes of it is not examined.
    if (Executable && Opener) {
        Opener(text());
    }
}

void TURLLabel::MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, QPoint) {
    if (!FHotTrack) {
        return;
    }
    // Where the pointer is now, not where the release was reported.
    const bool inside = rect().contains(mapFromGlobal(QCursor::pos()));
    SetFontColor(inside ? FHotColor : NormalColor);
}
