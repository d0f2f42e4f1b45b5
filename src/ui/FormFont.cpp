#include "ui/FormFont.h"

#include <QFontDatabase>
#include <QStringList>

QFont FormFont() {
    // Chosen among the installed families: given a list, fontconfig answers the first name with
    // any font at all and takes the Japanese glyphs from a wider monospaced one.
    static const QString family = [] {
        const QStringList installed = QFontDatabase::families();
        for (const char* name : {"ＭＳ Ｐゴシック", "MS PGothic", "IPAPGothic"}) {
            if (installed.contains(QString::fromUtf8(name))) {
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
