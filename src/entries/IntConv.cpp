#include "entries/IntConv.h"

#include <limits>

namespace {

// The digit's value in base, or -1 when it is no digit of that base.
int DigitValue(QChar c, int base) {
    const char16_t u = c.unicode();
    int value = -1;
    if (u >= u'0' && u <= u'9') {
        value = u - u'0';
    } else if (u >= u'a' && u <= u'f') {
        value = u - u'a' + 10;
    } else if (u >= u'A' && u <= u'F') {
        value = u - u'A' + 10;
    }
    return value < base ? value : -1;
}

} // namespace

std::optional<qint32> TryStrToInt(QStringView Text) {
    qsizetype at = 0;
    while (at < Text.size() && (Text[at] == u' ' || Text[at] == u'\t')) {
        ++at;
    }
    bool negative = false;
    if (at < Text.size() && (Text[at] == u'+' || Text[at] == u'-')) {
        negative = Text[at] == u'-';
        ++at;
    }
    int base = 10;
    const QStringView rest = Text.sliced(at);
    if (rest.startsWith(u'$') || rest.startsWith(u'x') || rest.startsWith(u'X')) {
        base = 16;
        at += 1;
    } else if (rest.startsWith(u"0x") || rest.startsWith(u"0X")) {
        base = 16;
        at += 2;
    }
    if (at == Text.size()) {
        return std::nullopt;
    }
    // The magnitude may reach 2^31 for the most negative value.
    const qint64 limit = qint64(std::numeric_limits<qint32>::max()) + (negative ? 1 : 0);
    qint64 value = 0;
    for (; at < Text.size(); ++at) {
        const int digit = DigitValue(Text[at], base);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > limit) {
            return std::nullopt;
        }
    }
    return qint32(negative ? -value : value);
}
