#include "support/ExceptionRecorder.h"

ExceptionRecorder::ExceptionRecorder()
    : previous(SetExceptionDisplay(
          [this](const std::exception& e) { shown.append(QString::fromUtf8(e.what())); })) {}

ExceptionRecorder::~ExceptionRecorder() {
    SetExceptionDisplay(std::move(previous));
}
