#pragma once

#include <QString>
#include <array>

// What an entry may ask the server for: block sizes (RFC 2348) and windows (RFC 7440).
constexpr qint32 MinBlkSize = 8;
constexpr qint32 MaxBlkSize = 65464;
constexpr qint32 MaxWindowSize = 65535;
// How a slow or not yet ready device is waited for; the limits are those a store may hold.
constexpr qint32 MaxRetransmitMs = 600000;
constexpr qint32 MaxRetries = 1000;
constexpr qint32 MaxTimeoutSeconds = 255; // RFC 2349
constexpr qint32 MaxWaitSeconds = 86400;

// One named upload target.
class TServerEntry {
public:
    TServerEntry();

    QString EntryName;
    QString ServerAddress;
    qint32 ServerPort;
    QString LocalFile;
    QString RemoteFile;
    // Options the upload asks the server for (blksize, windowsize); 0 asks nothing.
    qint32 BlkSize = 0;
    qint32 WindowSize = 0;
    // The retransmission period and the sends before a time-out; 0 for the upload's own
    // (5000 ms, five sends).
    qint32 RetransmitMs = 0;
    qint32 Retries = 0;
    // The server's own retransmission time to ask for (RFC 2349); 0 asks nothing.
    qint32 TimeoutSeconds = 0;
    // How long to send the write request again, once a second, until the server first
    // answers: for a device that is still starting. 0 waits as any upload does.
    qint32 WaitForTarget = 0;
};

// The entry as an upload of another local file: the same server, port, remote name and options.
// Dropped files and the command line's FILEs go out so.
TServerEntry WithLocalFile(const TServerEntry& Entry, const QString& LocalFile);

// An option an entry may set, as the store keeps it: its key, the values it may take, and the
// entry's field, where 0 means not set.
struct TEntryOption {
    const char* Key;
    qint32 Low;
    qint32 High;
    qint32 TServerEntry::*Field;
};

// Every option, in the order the store writes them.
extern const std::array<TEntryOption, 6> EntryOptions;

// The option kept in Field.
const TEntryOption& EntryOption(qint32 TServerEntry::*Field);
