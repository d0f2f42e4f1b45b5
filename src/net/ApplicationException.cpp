#include "net/ApplicationException.h"

#include <QtGlobal>
#include <stdexcept>

namespace {

ExceptionDisplay& Display() {
    static ExceptionDisplay display;
    return display;
}

void Show(const std::exception& e) {
    if (Display()) {
        Display()(e);
    } else {
        qWarning("%s", e.what());
    }
}

} // namespace

ExceptionDisplay SetExceptionDisplay(ExceptionDisplay display) {
    return std::exchange(Display(), std::move(display));
}

void HandleException() noexcept {
    try {
        try {
            throw;
        } catch (const std::exception& e) {
            Show(e);
        } catch (...) {
            Show(std::runtime_error("Unknown exception"));
        }
    } catch (...) {
        // The display itself failed; there is nobody left to tell.
        qWarning("exception display failed");
    }
}
