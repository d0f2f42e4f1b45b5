#pragma once

#include <QString>
#include <exception>

struct ExceptionBoxContent {
    QString Title;
    QString Text;
};

// What the application's error box says about an exception: the application title over the
// exception's message.
ExceptionBoxContent ExceptionBoxFor(const std::exception& e);

// The application's display of an exception that left an event handler: a modal error box with
// one OK button, after which the program goes on.
void ShowException(const std::exception& e);
