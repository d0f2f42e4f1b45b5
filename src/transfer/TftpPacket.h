#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <array>
#include <optional>

// Building and reading TFTP packets (RFC 1350), free of sockets so that they can be checked
// byte by byte.
namespace Tftp {

constexpr int BlockSize = 512;
constexpr int PacketSize = BlockSize + 4;
// The longest remote name whose write request still fits a packet buffer.
constexpr int MaxNameLength = PacketSize - 9;

constexpr quint16 OpWriteRequest = 2;
constexpr quint16 OpData = 3;
constexpr quint16 OpAck = 4;
constexpr quint16 OpError = 5;

using PacketBuffer = std::array<char, PacketSize>;

// Write request in mode "octet"; returns its length. name holds at most MaxNameLength bytes.
int MakeWriteRequest(PacketBuffer& packet, QByteArrayView name);

// DATA packet with the given block number; returns its length. data holds at most BlockSize
// bytes.
int MakeDataPacket(PacketBuffer& packet, quint16 block, QByteArrayView data);

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

// What the trace says about an ERROR packet's code, for codes other than 0.
QString ErrorCodeText(quint16 code);

} // namespace Tftp
