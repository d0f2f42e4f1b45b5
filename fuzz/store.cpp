// Any bytes a user's entrys.txt can hold, in any code page: loading never fails on them, and
// what was loaded survives a save and a second load exactly, but for line breaks inside a value,
// which the format cannot hold and saving turns into blanks.

#include "entries/EntryList.h"
#include "entries/EntryStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

QStringList Fields(const TEntryList& list) {
    QStringList all;
    for (int i = 0; i < list.Count(); ++i) {
        const TServerEntry* e = list.Get(i);
        all << e->EntryName << e->ServerAddress << QString::number(e->ServerPort) << e->LocalFile
            << e->RemoteFile;
    }
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    static const QString stored = dir.filePath(QStringLiteral("entrys.txt"));
    static const QString saved = dir.filePath(QStringLiteral("saved.txt"));
    QFile::remove(saved);
    {
        QFile file(stored);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    TEntryList loaded;
    LoadEntries(loaded, stored);
    SaveEntries(loaded, saved);
    TEntryList again;
    LoadEntries(again, saved);

    QStringList expected = Fields(loaded);
    for (QString& field : expected) {
        field.replace(u'\r', u' ').replace(u'\n', u' ');
    }
    if (Fields(again) != expected) {
        std::abort();
    }
    return 0;
}
