#pragma once

#include <QByteArray>
#include <QString>

// Text from outside the program: UTF-8 when the bytes are valid UTF-8, which is what Linux
// programs write; anything else was written on Windows in code page 932 (Shift-JIS).
QString DecodeUtf8OrShiftJis(QByteArrayView Bytes);

// Text of the entry store: UTF-8 without a byte-order mark is what this program writes. A
// leading UTF-8 byte-order mark is dropped before the code page is decided, since editors put
// one in front of Shift-JIS text too.
QString DecodeStoreText(const QByteArray& Bytes);
