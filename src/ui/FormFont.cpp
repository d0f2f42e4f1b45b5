#include "ui/FormFont.h"

#include <QFontDatabase>

QFont FormFont() {
    // Chosen among the installed families: given a list, fontconfig answers the first name with
    // any font at all and takes the Japanese glyphs from a wider monospaced one. A family is
    // listed under the name of the desktop's language ("IPA Pゴシック" in a Japanese one), so
    // it is asked for by a name that any language's list resolves: hasFamily knows the others.
    static const QString family = [] {
        for (const char* name : {"ＭＳ Ｐゴシック", "MS PGothic", "IPAPGothic"}) {
            if (QFontDatabase::hasFamily(QString::fromUtf8(name))) {
                return QString::fromUtf8(name);
            }
        }
        return QString();
    }();
    QFont font;
    if (!family.isEmpty()) {
        font.setFamily(family);
    }
    font.setPixelSize(12);
    return font;
}
