// Any datagram a peer can send: the reply parser reads only what arrived, takes the opcode and
// number from the first four bytes, and an error text from what follows up to its zero byte. An
// option acknowledgement's options, once read, are never granted beyond what was asked.

#include "entries/CodePage.h"
#include "transfer/TftpOptions.h"
#include "transfer/TftpPacket.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact copy, so that the sanitizer sees any read past what arrived.
    char* datagram = static_cast<char*>(std::malloc(size ? size : 1));
    std::memcpy(datagram, data, size);
    const auto reply = Tftp::ParseReply(QByteArrayView(datagram, qsizetype(size)));
    if (size < 4) {
        if (reply) {
            std::abort();
        }
    } else {
        if (!reply || reply->Opcode != (data[0] << 8 | data[1]) ||
            reply->Number != (data[2] << 8 | data[3])) {
            std::abort();
        }
        if (reply->Opcode == Tftp::OpError) {
            const QByteArray& text = reply->Message;
            if (text.contains('\0') ||
                std::memcmp(text.constData(), data + 4, size_t(text.size())) != 0 ||
                (size_t(text.size()) + 4 < size && data[4 + text.size()] != 0)) {
                std::abort();
            }
            (void)DecodeUtf8OrShiftJis(text);
        }
        (void)Tftp::ErrorCodeText(reply->Number);
    }
    if (const auto options = Tftp::ParseOptionAck(QByteArrayView(datagram, qsizetype(size)))) {
        Tftp::OptionRequest asked;
        asked.BlockSize = 1468;
        asked.WindowSize = 16;
        asked.TransferSize = 1000;
        const auto granted = Tftp::AcceptOptionAck(asked, *options);
        if (granted && (granted->BlockSize < MinBlkSize || granted->BlockSize > 1468 ||
                        granted->WindowSize < 1 || granted->WindowSize > 16)) {
            std::abort();
        }
    }
    std::free(datagram);
    return 0;
}
