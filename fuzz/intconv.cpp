// Any text typed as a port: the conversion agrees with a plain reading of its rules, blanks and
// sign, then decimal digits or "$", "x", "X", "0x", "0X" and hexadecimal ones, nothing after,
// within a signed 32-bit integer.

#include "entries/IntConv.h"

#include <QString>
#include <cstdlib>
#include <limits>

namespace {

std::optional<qint32> Reference(const QString& text) {
    QString rest = text;
    while (rest.startsWith(u' ') || rest.startsWith(u'\t')) {
        rest.remove(0, 1);
    }
    bool negative = false;
    if (rest.startsWith(u'+') || rest.startsWith(u'-')) {
        negative = rest.startsWith(u'-');
        rest.remove(0, 1);
    }
    int base = 10;
    for (const char* prefix : {"0x", "0X", "$", "x", "X"}) {
        if (rest.startsWith(QLatin1String(prefix))) {
            base = 16;
            rest.remove(0, qsizetype(strlen(prefix)));
            break;
        }
    }
    const QString digits =
        base == 16 ? QStringLiteral("0123456789abcdefABCDEF") : QStringLiteral("0123456789");
    if (rest.isEmpty()) {
        return std::nullopt;
    }
    for (const QChar c : rest) {
        if (!digits.contains(c)) {
            return std::nullopt;
        }
    }
    bool ok = false;
    const qlonglong magnitude = rest.toLongLong(&ok, base);
    const qlonglong value = negative ? -magnitude : magnitude;
    if (!ok || value < std::numeric_limits<qint32>::min() ||
        value > std::numeric_limits<qint32>::max()) {
        return std::nullopt;
    }
    return qint32(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    if (TryStrToInt(text) != Reference(text)) {
        std::abort();
    }
    return 0;
}
