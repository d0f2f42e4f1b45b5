#include "CursorTable.h"

#include <QBitmap>
#include <QHash>
#include <QImage>

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
    QImage bitmap(32, 32, QImage::Format_Mono);
    QImage mask(32, 32, QImage::Format_Mono);
    bitmap.fill(0);
    mask.fill(0);
    for (int y = 0; y < int(std::size(HandPoint)); ++y) {
        for (int x = 0; x < 32; ++x) {
            const char c = HandPoint[y][x];
            // Bitmap 1 with mask 1 is black, bitmap 0 with mask 1 white.
            bitmap.setPixel(x, y, c == 'X' ? 1 : 0);
            mask.setPixel(x, y, c == 'X' || c == 'o' ? 1 : 0);
        }
    }
    return QCursor(QBitmap::fromImage(bitmap), QBitmap::fromImage(mask), 7, 1);
}
