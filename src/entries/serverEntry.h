#pragma once

#include <QString>

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
