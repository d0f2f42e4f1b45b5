#pragma once

#include <exception>
#include <functional>
#include <utility>

// Exceptions that leave an event handler end up here, so that one display serves the whole
// program. Libraries below the user interface cannot show a window themselves; the application
// installs the display at start-up.
using ExceptionDisplay = std::function<void(const std::exception&)>;

// Returns the display it replaces.
ExceptionDisplay SetExceptionDisplay(ExceptionDisplay display);

// Shows the exception being handled; call it only from inside a catch block.
void HandleException() noexcept;

// Wraps an event handler so that an exception leaving it reaches the display instead of the
// event loop, which cannot carry exceptions.
template <typename Handler> auto Guarded(Handler handler) {
    return [handler = std::move(handler)]() {
        try {
            handler();
        } catch (...) {
            HandleException();
        }
    };
}
