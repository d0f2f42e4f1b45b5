#pragma once

#include <QWidget>
#include <functional>

// Acts on the modal dialog that the next exec() shows, from inside its modal loop, the way a
// user would. When no modal dialog shows up, the test fails and whatever window is open is
// closed, so that nothing waits for a user.
void OnNextModal(std::function<void(QWidget*)> action);

// Fills a line edit as typing would, replacing what it held.
void Type(QWidget* dialog, const char* field, const QString& text);
