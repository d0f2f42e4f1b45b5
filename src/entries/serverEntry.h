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
};
