#pragma once

#include <QString>

// What an entry may ask the server for: block sizes (RFC 2348) and windows (RFC 7440).
constexpr qint32 MinBlkSize = 8;
constexpr qint32 MaxBlkSize = 65464;
constexpr qint32 MaxWindowSize = 65535;

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
};

// The entry as an upload of another local file: the same server, port, remote name and options.
// Dropped files and the command line's FILEs go out so.
TServerEntry WithLocalFile(const TServerEntry& Entry, const QString& LocalFile);
