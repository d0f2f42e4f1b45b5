#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <array>
#include <optional>
#include <utility>

// Building and reading TFTP packets (RFC 1350), free of sockets so that they can be checked
// byte by byte.
namespace Tftp {

constexpr int BlockSize = 512;
constexpr int PacketSize = BlockSize + 4;
// The longest remote name whose write request without options fits a plain packet.
constexpr int MaxNameLength = PacketSize - 9;
// The largest block a server may be asked for (RFC 2348).
constexpr int MaxBlockSize = 65464;

constexpr quint16 OpWriteRequest = 2;
constexpr quint16 OpData = 3;
constexpr quint16 OpAck = 4;
constexpr quint16 OpError = 5;
constexpr quint16 OpOptionAck = 6;

constexpr quint16 ErrorUnknownTransfer = 5;
constexpr quint16 ErrorOptionRefused = 8;

// Room for any UDP datagram: a server's ERROR may carry a message of any length.
constexpr int MaxDatagram = 65536;

// Room for a DATA packet of the largest block, and for a write request with options.
using PacketBuffer = std::array<char, MaxBlockSize + 4>;

// An option's name and value, as they travel.
using Option = std::pair<QByteArray, QByteArray>;

// Write request in mode "octet", followed by the options in their order; returns its length.
// name holds at most MaxNameLength bytes, and each option's name and value at most 32.
int MakeWriteRequest(PacketBuffer& packet, QByteArrayView name, const QList<Option>& options = {});

// DATA packet with the given block number; returns its length. data holds at most
// MaxBlockSize bytes.
int MakeDataPacket(PacketBuffer& packet, quint16 block, QByteArrayView data);

// The longest message an ERROR packet the upload sends carries.
constexpr int MaxErrorMessage = 255;

// ERROR packet; returns its length. message holds at most MaxErrorMessage bytes.
int MakeErrorPacket(PacketBuffer& packet, quint16 code, QByteArrayView message);

// The 16-bit number in bytes 2 and 3 of a packet: a DATA packet's block number.
quint16 PacketNumber(const PacketBuffer& packet);

struct Reply {
    quint16 Opcode = 0;
    quint16 Number = 0; // the acknowledged block, or the error code
    QByteArray Message; // an ERROR packet's text, up to its zero byte or the datagram's end
};

// Reads a received datagram; nothing for one too short to hold an opcode and a number. Never
// looks past the datagram's end.
std::optional<Reply> ParseReply(QByteArrayView datagram);

// The options of an option acknowledgement (opcode 6): pairs of zero-terminated strings, perhaps
// none, perhaps followed by one more zero byte. Nothing when a string is not terminated, a name
// is empty or a name has no value. Never looks past the datagram's end.
std::optional<QList<Option>> ParseOptionAck(QByteArrayView datagram);

// What the trace says about an ERROR packet's code, for codes other than 0.
QString ErrorCodeText(quint16 code);

} // namespace Tftp
