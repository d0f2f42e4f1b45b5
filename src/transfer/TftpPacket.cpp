#include "transfer/TftpPacket.h"

#include <cstring>

namespace Tftp {
namespace {

// An empty view may have no storage at all, and memcpy must not be given a null pointer.
void PutBytes(char* at, QByteArrayView bytes) {
    if (!bytes.isEmpty()) {
        std::memcpy(at, bytes.data(), size_t(bytes.size()));
    }
}

void PutWord(char* at, quint16 value) {
    at[0] = char(value >> 8);
    at[1] = char(value & 0xFF);
}

quint16 GetWord(const char* at) {
    return quint16(quint8(at[0]) << 8 | quint8(at[1]));
}

} // namespace

int MakeWriteRequest(PacketBuffer& packet, QByteArrayView name) {
    static constexpr char Mode[] = "octet";
    const auto length = int(name.size());
    PutWord(packet.data(), OpWriteRequest);
    PutBytes(packet.data() + 2, name);
    packet[2 + length] = '\0';
    std::memcpy(packet.data() + 3 + length, Mode, sizeof Mode);
    return length + 9;
}

int MakeDataPacket(PacketBuffer& packet, quint16 block, QByteArrayView data) {
    PutWord(packet.data(), OpData);
    PutWord(packet.data() + 2, block);
    PutBytes(packet.data() + 4, data);
    return int(data.size()) + 4;
}

quint16 PacketNumber(const PacketBuffer& packet) {
    return GetWord(packet.data() + 2);
}

std::optional<Reply> ParseReply(QByteArrayView datagram) {
    if (datagram.size() < 4) {
        return std::nullopt;
    }
    Reply reply{GetWord(datagram.data()), GetWord(datagram.data() + 2), {}};
    if (reply.Opcode == OpError) {
        const QByteArrayView text = datagram.sliced(4);
        const qsizetype end = text.indexOf('\0');
        reply.Message = (end < 0 ? text : text.first(end)).toByteArray();
    }
    return reply;
}

QString ErrorCodeText(quint16 code) {
    // clang-format off
    static const char* const Texts[] = {
        "File Not Found",
        "Access Violation",
        "Disk Full or allocation exceeded",
        "illegal TFTP operation",
        "Unknown transfer ID",
        "File already exists",
        "No such User",
    };
    // clang-format on
    if (code >= 1 && code <= std::size(Texts)) {
        return QString::fromLatin1(Texts[code - 1]);
    }
    return QStringLiteral("???");
}

} // namespace Tftp
