#include "transfer/TftpOptions.h"

#include <limits>

namespace Tftp {

// A DATA packet of the largest block an entry may ask for fits the packet buffer.
static_assert(MaxBlockSize == MaxBlkSize);

QList<Option> OptionRequest::Options() const {
    QList<Option> options;
    if (BlockSize > 0) {
        options.append({"blksize", QByteArray::number(BlockSize)});
    }
    if (WindowSize > 0) {
        options.append({"windowsize", QByteArray::number(WindowSize)});
    }
    if (Timeout > 0) {
        options.append({"timeout", QByteArray::number(Timeout)});
    }
    options.append({"tsize", QByteArray::number(TransferSize)});
    return options;
}

std::optional<qint64> OptionNumber(const QByteArray& text, qint64 low, qint64 high) {
    if (text.isEmpty() || text.size() > 18) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<Granted> AcceptOptionAck(const OptionRequest& asked, const QList<Option>& acked) {
    Granted granted;
    bool blockSeen = false, windowSeen = false, timeoutSeen = false, sizeSeen = false;
    for (const auto& [name, text] : acked) {
        // Option names are not case-sensitive; blanks around a number leave it a number.
        const QByteArray option = name.toLower();
        const QByteArray value = text.trimmed();
        if (option == "blksize" && asked.BlockSize > 0 && !blockSeen) {
            const auto size = OptionNumber(value, MinBlkSize, asked.BlockSize);
            if (!size) {
                return std::nullopt;
            }
            granted.BlockSize = int(*size);
            blockSeen = true;
        } else if (option == "windowsize" && asked.WindowSize > 0 && !windowSeen) {
            const auto window = OptionNumber(value, 1, asked.WindowSize);
            if (!window) {
                return std::nullopt;
            }
            granted.WindowSize = int(*window);
            windowSeen = true;
        } else if (option == "timeout" && asked.Timeout > 0 && !timeoutSeen) {
            // A server takes the timeout as asked or leaves it out.
            if (OptionNumber(value, 1, 255) != asked.Timeout) {
                return std::nullopt;
            }
            timeoutSeen = true;
        } else if (option == "tsize" && !sizeSeen) {
            // The server repeats the size it was told; another one is not this file's.
            if (OptionNumber(value, 0, std::numeric_limits<qint64>::max()) != asked.TransferSize) {
                return std::nullopt;
            }
            sizeSeen = true;
        } else {
            return std::nullopt;
        }
    }
    return granted;
}

} // namespace Tftp
