#pragma once

#include <QByteArray>
#include <QString>

// Text of the entry store: UTF-8 without a byte-order mark is what this program writes; a file
// that is not valid UTF-8 was written on Windows in code page 932 (Shift-JIS) and is read as such.
QString DecodeStoreText(const QByteArray& Bytes);
