#pragma once

#include <stdexcept>

// Failures of the UDP endpoint. Callers tell them apart by their message text, so the texts are
// part of the endpoint's interface.
class EUdpException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
