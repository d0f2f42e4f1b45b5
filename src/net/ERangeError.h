#pragma once

#include <stdexcept>

// A value outside the range its destination can hold, such as a UDP port above 65535.
class ERangeError : public std::runtime_error {
public:
    ERangeError()
        : std::runtime_error("範囲チェックエラー") {}
};
