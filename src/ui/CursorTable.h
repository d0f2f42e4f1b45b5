#pragma once

#include <QCursor>

// The program's hand cursor, for links.
constexpr int crHandPoint = 32761;

// The application-wide table of cursors by number; a number never set gives the arrow.
void SetCursorImage(int Number, const QCursor& Cursor);
QCursor CursorImage(int Number);

// The program's own pointing hand: 32 x 32 pixels in two colours, a white hand with a black
// outline, its hot spot at the tip of the index finger (7, 1).
QCursor LoadHandPointCursor();
