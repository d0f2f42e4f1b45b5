#include "FormFont.h"

#include <QStringList>

QFont FormFont() {
    QFont font;
    font.setFamilies({QString::fromUtf8("ＭＳ Ｐゴシック"), QString::fromUtf8("MS PGothic"),
                      QString::fromUtf8("IPAPGothic")});
    font.setPixelSize(12);
    return font;
}
