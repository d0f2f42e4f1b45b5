#pragma once

class QString;
class QWidget;

// Tells the user what is wrong with what they typed: a modal box titled "エラー" with an error
// icon and one OK button, over the dialog, which stays open.
void ShowInputError(QWidget* parent, const QString& text);
