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

const std::array<TEntryOption, 6> EntryOptions = {{
    {"blksize", MinBlkSize, MaxBlkSize, &TServerEntry::BlkSize},
    {"windowsize", 1, MaxWindowSize, &TServerEntry::WindowSize},
    {"retransmit", 1, MaxRetransmitMs, &TServerEntry::RetransmitMs},
    {"retries", 1, MaxRetries, &TServerEntry::Retries},
    {"timeout", 1, MaxTimeoutSeconds, &TServerEntry::TimeoutSeconds},
    {"waitfortarget", 1, MaxWaitSeconds, &TServerEntry::WaitForTarget},
}};

const TEntryOption& EntryOption(qint32 TServerEntry::*Field) {
    for (const TEntryOption& option : EntryOptions) {
        if (option.Field == Field) {
            return option;
        }
    }
    // Every option field is in the table.
    Q_UNREACHABLE();
}
