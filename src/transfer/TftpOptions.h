#pragma once

#include "entries/serverEntry.h"
#include "transfer/TftpPacket.h"

#include <QList>
#include <optional>

// Option negotiation for a write request (RFC 2347): block size (RFC 2348), timeout and
// transfer size (RFC 2349) and window size (RFC 7440). Free of sockets, like the packets.
namespace Tftp {

// What an upload asks the server for; 0 where it asks nothing.
struct OptionRequest {
    int BlockSize = 0;
    int WindowSize = 0;
    // Seconds the server is to wait before it sends its acknowledgement again.
    int Timeout = 0;
    // The file's size, sent along whenever anything is asked, unless the request has no room.
    qint64 TransferSize = 0;
    bool TellsSize = true;

    bool Any() const { return BlockSize > 0 || WindowSize > 0 || Timeout > 0; }
    // The options of the write request, in the order they go out.
    QList<Option> Options() const;
};

// The request for a remote name of nameLength bytes without the options, last first, that would
// make it longer than 512 bytes (RFC 2347); their names are added to leftOut.
OptionRequest FittingRequest(OptionRequest request, qsizetype nameLength,
                             QList<QByteArray>& leftOut);

// What the upload goes on with, and the options acknowledged that were not asked.
struct Granted {
    int BlockSize = Tftp::BlockSize;
    int WindowSize = 1;
    QList<QByteArray> NotAsked;
};

// The values an option acknowledgement grants; those of plain TFTP for one that grants nothing.
// Options that were not asked are passed over. Nothing when it names an asked option twice,
// raises a value, carries one that is not a number in its range, or gives a timeout other than
// the one asked or a transfer size other than the file's or 0 (a server that does not say).
std::optional<Granted> AcceptOptionAck(const OptionRequest& asked, const QList<Option>& acked);

// A decimal number in [low, high]: digits only, no sign, no blanks.
std::optional<qint64> OptionNumber(const QByteArray& text, qint64 low, qint64 high);

} // namespace Tftp
