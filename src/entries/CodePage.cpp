#include "entries/CodePage.h"

#include <QStringDecoder>

QString DecodeUtf8OrShiftJis(QByteArrayView Bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(Bytes);
    if (!utf8.hasError()) {
        return text;
    }
    // Windows' name for code page 932, which Shift-JIS proper lacks some characters of.
    QStringDecoder cp932("windows-31j");
    return cp932.decode(Bytes);
}

QString DecodeStoreText(const QByteArray& Bytes) {
    static constexpr QByteArrayView Utf8Bom("\xEF\xBB\xBF");
    const QByteArrayView bytes(Bytes);
    return DecodeUtf8OrShiftJis(bytes.startsWith(Utf8Bom) ? bytes.sliced(Utf8Bom.size()) : bytes);
}

namespace {

constexpr char16_t ForeignByteBase = 0xDC00;

bool ForeignByte(char16_t c) {
    return c >= 0xDC80 && c <= 0xDCFF;
}

// The length of the valid UTF-8 sequence at the start of the bytes; 0 when there is none.
qsizetype Utf8SequenceLength(QByteArrayView bytes) {
    const auto b = [&](qsizetype i) {
        return quint8(bytes[i]);
    };
    const quint8 lead = b(0);
    if (lead < 0x80) {
        return 1;
    }
    qsizetype length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
    if (length == 0 || bytes.size() < length) {
        return 0;
    }
    for (qsizetype i = 1; i < length; ++i) {
        if ((b(i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    // Overlong forms, surrogates and code points beyond U+10FFFF are not UTF-8.
    if ((lead == 0xE0 && b(1) < 0xA0) || (lead == 0xED && b(1) > 0x9F) ||
        (lead == 0xF0 && b(1) < 0x90) || (lead == 0xF4 && b(1) > 0x8F)) {
        return 0;
    }
    return length;
}

} // namespace

QString DecodeSystemName(QByteArrayView Bytes) {
    QString name;
    name.reserve(Bytes.size());
    for (qsizetype i = 0; i < Bytes.size();) {
        const qsizetype length = Utf8SequenceLength(Bytes.sliced(i));
        if (length == 0) {
            name.append(QChar(char16_t(ForeignByteBase + quint8(Bytes[i]))));
            ++i;
            continue;
        }
        name.append(QString::fromUtf8(Bytes.sliced(i, length)));
        i += length;
    }
    return name;
}

QByteArray EncodeSystemName(const QString& Name) {
    QByteArray bytes;
    bytes.reserve(Name.size());
    qsizetype from = 0;
    for (qsizetype i = 0; i <= Name.size(); ++i) {
        // A foreign byte is a lone low surrogate: one after a high surrogate is half of a
        // character.
        const bool foreign = i < Name.size() && ForeignByte(Name[i].unicode()) &&
                             (i == 0 || !Name[i - 1].isHighSurrogate());
        if (i == Name.size() || foreign) {
            bytes.append(QStringView(Name).sliced(from, i - from).toUtf8());
            if (foreign) {
                bytes.append(char(Name[i].unicode() - ForeignByteBase));
            }
            from = i + 1;
        }
    }
    return bytes;
}

bool HoldsForeignBytes(const QString& Name) {
    for (qsizetype i = 0; i < Name.size(); ++i) {
        if (ForeignByte(Name[i].unicode()) && (i == 0 || !Name[i - 1].isHighSurrogate())) {
            return true;
        }
    }
    return false;
}
