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

// A name as the system gives it, bytes that need not be UTF-8 (a file name, a command-line
// argument): valid UTF-8 is read as such, and each other byte is kept as a lone surrogate,
// U+DC80 to U+DCFF, so that EncodeSystemName gives the very bytes back.
QString DecodeSystemName(QByteArrayView Bytes);
QByteArray EncodeSystemName(const QString& Name);
// Whether the name holds bytes that were not UTF-8.
bool HoldsForeignBytes(const QString& Name);
