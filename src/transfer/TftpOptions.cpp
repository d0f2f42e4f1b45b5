#include "transfer/TftpOptions.h"

#include <limits>
#include <utility>

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
    if (TellsSize) {
        options.append({"tsize", QByteArray::number(TransferSize)});
    }
    return options;
}

OptionRequest FittingRequest(OptionRequest request, qsizetype nameLength,
                             QList<QByteArray>& leftOut) {
    const auto length = [&] {
        // Opcode, the name and "octet", each string ended by a zero byte.
        qsizetype bytes = 2 + nameLength + 1 + 6;
        for (const auto& [name, value] : request.Options()) {
            bytes += name.size() + 1 + value.size() + 1;
        }
        return bytes;
    };
    // The least needed go first: the size only informs, a window or a block size speeds up.
    while (request.Any() && length() > BlockSize) {
        if (request.TellsSize) {
            request.TellsSize = false;
            leftOut.append("tsize");
        } else if (request.Timeout > 0) {
            request.Timeout = 0;
            leftOut.append("timeout");
        } else if (request.WindowSize > 0) {
            request.WindowSize = 0;
            leftOut.append("windowsize");
        } else {
            request.BlockSize = 0;
            leftOut.append("blksize");
        }
    }
    return request;
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
    // An option acknowledged twice cannot be told which of its values holds.
    const auto once = [](bool& seen) {
        return !std::exchange(seen, true);
    };
    for (const auto& [name, text] : acked) {
        // Option names are not case-sensitive; blanks around a number leave it a number.
        const QByteArray option = name.toLower();
        const QByteArray value = text.trimmed();
        if (option == "blksize" && asked.BlockSize > 0) {
            const auto size = OptionNumber(value, MinBlkSize, asked.BlockSize);
            if (!once(blockSeen) || !size) {
                return std::nullopt;
            }
            granted.BlockSize = int(*size);
        } else if (option == "windowsize" && asked.WindowSize > 0) {
            const auto window = OptionNumber(value, 1, asked.WindowSize);
            if (!once(windowSeen) || !window) {
                return std::nullopt;
            }
            granted.WindowSize = int(*window);
        } else if (option == "timeout" && asked.Timeout > 0) {
            // A server takes the timeout as asked or leaves it out.
            if (!once(timeoutSeen) || OptionNumber(value, 1, 255) != asked.Timeout) {
                return std::nullopt;
            }
        } else if (option == "tsize") {
            // The server repeats the size it was told, or 0 when it does not say; another one
            // is not this file's.
            const auto size = OptionNumber(value, 0, std::numeric_limits<qint64>::max());
            if (!once(sizeSeen) || !size || (*size != 0 && *size != asked.TransferSize)) {
                return std::nullopt;
            }
        } else {
            // What was not asked binds the upload to nothing; the peers pass over it too.
            granted.NotAsked.append(option);
        }
    }
    return granted;
}

} // namespace Tftp
