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
