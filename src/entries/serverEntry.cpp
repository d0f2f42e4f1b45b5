#include "entries/serverEntry.h"

namespace {
constexpr qint32 TftpPort = 69;
}

TServerEntry::TServerEntry()
    : ServerPort(TftpPort) {}

TServerEntry WithLocalFile(const TServerEntry& Entry, const QString& LocalFile) {
    TServerEntry upload = Entry;
    upload.LocalFile = LocalFile;
    return upload;
}
