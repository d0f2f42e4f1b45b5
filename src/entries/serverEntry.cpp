#include "entries/serverEntry.h"

namespace {
constexpr qint32 TftpPort = 69;
}

TServerEntry::TServerEntry()
    : ServerPort(TftpPort) {}
