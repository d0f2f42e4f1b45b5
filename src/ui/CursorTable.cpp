#include "ui/CursorTable.h"

#include <QHash>
#include <QImage>
#include <QPixmap>

namespace {

QHash<int, QCursor>& Table() {
    static QHash<int, QCursor> table;
    return table;
}

// X is black, o white, anything else transparent.
constexpr const char* HandPoint[] = {
    "                                ", "       XX                       ",
    "      XooX                      ", "      XooX                      ",
    "      XooX                      ", "      XooX                      ",
    "      XooXXX                    ", "      XooXooXXX                 ",
    "      XooXooXooXX               ", "      XooXooXooXoX              ",
    "  XXX XooooooooooX              ", "  XooXXooooooooooX              ",
    "  XoooXooooooooooX              ", "   XooXooooooooooX              ",
    "    XoooooooooooX               ", "     XooooooooooX               ",
    "     XoooooooooX                ", "      XooooooooX                ",
    "      XooooooooX                ", "      XXXXXXXXXX                ",
};

} // namespace

void SetCursorImage(int Number, const QCursor& Cursor) {
    Table().insert(Number, Cursor);
}

QCursor CursorImage(int Number) {
    return Table().value(Number, QCursor(Qt::ArrowCursor));
}

QCursor LoadHandPointCursor() {
    // A colour picture rather than a bitmap and mask pair: how X servers combine those two,
    // and which way Qt's monochrome images map their bits, turned the hand into its negative.
    QImage picture(32, 32, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    for (int y = 0; y < int(std::size(HandPoint)); ++y) {
        for (int x = 0; x < 32; ++x) {
            const char c = HandPoint[y][x];
            if (c == 'X' || c == 'o') {
                picture.setPixelColor(x, y, c == 'X' ? Qt::black : Qt::white);
            }
        }
    }
    return QCursor(QPixmap::fromImage(picture), 7, 1);
}
