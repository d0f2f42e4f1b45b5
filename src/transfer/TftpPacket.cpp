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

int PutString(char* at, QByteArrayView text) {
    PutBytes(at, text);
    at[text.size()] = '\0';
    return int(text.size()) + 1;
}

} // namespace

int MakeWriteRequest(PacketBuffer& packet, QByteArrayView name, const QList<Option>& options) {
    PutWord(packet.data(), OpWriteRequest);
    int length = 2 + PutString(packet.data() + 2, name);
    length += PutString(packet.data() + length, "octet");
    for (const Option& option : options) {
        length += PutString(packet.data() + length, option.first);
        length += PutString(packet.data() + length, option.second);
    }
    return length;
}

int MakeErrorPacket(PacketBuffer& packet, quint16 code, QByteArrayView message) {
    PutWord(packet.data(), OpError);
    PutWord(packet.data() + 2, code);
    return 4 + PutString(packet.data() + 4, message);
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

std::optional<QList<Option>> ParseOptionAck(QByteArrayView datagram) {
    if (datagram.size() < 2 || GetWord(datagram.data()) != OpOptionAck) {
        return std::nullopt;
    }
    QList<QByteArray> strings;
    QByteArrayView rest = datagram.sliced(2);
    while (!rest.isEmpty()) {
        const qsizetype end = rest.indexOf('\0');
        if (end < 0) {
            return std::nullopt;
        }
        strings.append(rest.first(end).toByteArray());
        rest = rest.sliced(end + 1);
    }
    // A zero byte after the last pair pads the packet; it is no option.
    if (strings.size() % 2 != 0 && strings.last().isEmpty()) {
        strings.removeLast();
    }
    if (strings.size() % 2 != 0) {
        return std::nullopt;
    }
    QList<Option> options;
    for (qsizetype i = 0; i < strings.size(); i += 2) {
        if (strings[i].isEmpty()) {
            return std::nullopt;
        }
        options.append({strings[i], strings[i + 1]});
    }
    return options;
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
