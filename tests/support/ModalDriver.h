#pragma once

#include <QMessageBox>
#include <QWidget>
#include <functional>
#include <memory>

// Acts on the modal dialog that the next exec() shows, from inside its modal loop, the way a
// user would. When no modal dialog shows up, the test fails and whatever window is open is
// closed, so that nothing waits for a user.
void OnNextModal(std::function<void(QWidget*)> action);

// Fills a line edit as typing would, replacing what it held.
void Type(QWidget* dialog, const char* field, const QString& text);

// What a message box showed.
struct ShownBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Qt::TextFormat format = Qt::AutoText;
};
ShownBox Shown(const QMessageBox* box);

// Answers the next message box with the button of that object name, or that standard button, and
// keeps what the box said in text or shown, when given; fails when no such box shows up.
void Answer(const QString& button, QString* text = nullptr);
void Answer(QMessageBox::StandardButton button, ShownBox* shown = nullptr);

// Closes whatever modal box shows after afterMs, so that a box nobody expected fails the test
// instead of waiting for a user; the flag says whether there was one.
std::shared_ptr<bool> CloseStrayBox(int afterMs);
