#pragma once

#include <stdexcept>

// The entry store could not be read or written; the message names the store's path.
class EEntryStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
