#include "support/Thrown.h"

#include <exception>

QString ThrownMessage(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}
