#pragma once

#include "net/ApplicationException.h"

#include <QStringList>

// Takes the place of the exception display while it lives and keeps the messages it is given.
class ExceptionRecorder {
public:
    ExceptionRecorder();
    ~ExceptionRecorder();
    ExceptionRecorder(const ExceptionRecorder&) = delete;
    ExceptionRecorder& operator=(const ExceptionRecorder&) = delete;

    QStringList shown;

private:
    ExceptionDisplay previous;
};
