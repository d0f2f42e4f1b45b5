#pragma once

#include <stdexcept>

// Failures of the UDP endpoint. Their texts are part of the endpoint's interface; Kind says which
// failure it was, for callers that act on it.
class EUdpException : public std::runtime_error {
public:
    enum TKind {
        ukSocket,   // no socket could be created
        ukLookup,   // the host was not found
        ukSelect,   // notification of arriving datagrams could not be registered
        ukClosed,   // the endpoint is not open
        ukNotified, // a notification carried an error
        ukOther
    };

    explicit EUdpException(const std::string& Message, TKind Kind = ukOther)
        : std::runtime_error(Message)
        , Kind(Kind) {}

    const TKind Kind;
};
