// entry-store-bench [ENTRIES] [RUNS]
//
// Saves and loads a store of ENTRIES entries (default 10,000) RUNS times (default 5) and prints
// the median times, next to QSettings doing the same work on the same file as a peer.

#include "entries/EntryList.h"
#include "entries/EntryStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

double MedianMs(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        work();
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

QString Key(int n, const char* name) {
    return QStringLiteral("entryno%1/%2").arg(n).arg(name);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int count = args.size() > 1 ? args[1].toInt() : 10000;
    const int runs = args.size() > 2 ? args[2].toInt() : 5;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("entrys.txt"));
    const QString peerPath = dir.filePath(QStringLiteral("peer.ini"));

    TEntryList list;
    for (int i = 0; i < count; ++i) {
        auto entry = std::make_unique<TServerEntry>();
        entry->EntryName = QStringLiteral("ルータ %1").arg(i);
        entry->ServerAddress = QStringLiteral("10.%1.%2.1").arg(i / 256 % 256).arg(i % 256);
        entry->ServerPort = 69;
        entry->LocalFile = QStringLiteral("/srv/images/site-%1/firmware-v2.bin").arg(i);
        entry->RemoteFile = QStringLiteral("firmware-%1.bin").arg(i);
        list.Append(std::move(entry));
    }

    const double save = MedianMs(runs, [&] { SaveEntries(list, path); });
    const double load = MedianMs(runs, [&] {
        TEntryList loaded;
        LoadEntries(loaded, path);
        if (loaded.Count() != count) {
            std::fprintf(stderr, "loaded %d of %d entries\n", loaded.Count(), count);
            std::exit(1);
        }
    });
    const double peerSave = MedianMs(runs, [&] {
        QFile::remove(peerPath);
        QSettings settings(peerPath, QSettings::IniFormat);
        for (int i = 0; i < count; ++i) {
            const TServerEntry* e = list.Get(i);
            settings.setValue(Key(i, "entryname"), e->EntryName);
            settings.setValue(Key(i, "address"), e->ServerAddress);
            settings.setValue(Key(i, "port"), e->ServerPort);
            settings.setValue(Key(i, "localfile"), e->LocalFile);
            settings.setValue(Key(i, "remotefile"), e->RemoteFile);
        }
        settings.sync();
    });
    const double peerLoad = MedianMs(runs, [&] {
        QSettings settings(peerPath, QSettings::IniFormat);
        for (int i = 0; i < count; ++i) {
            for (const char* key : {"entryname", "address", "port", "localfile", "remotefile"}) {
                settings.value(Key(i, key));
            }
        }
    });

    std::printf("entries: %d, runs: %d, median\n", count, runs);
    std::printf("save: %.1f ms   QSettings: %.1f ms   ratio %.2f\n", save, peerSave,
                save / peerSave);
    std::printf("load: %.1f ms   QSettings: %.1f ms   ratio %.2f\n", load, peerLoad,
                load / peerLoad);
    return 0;
}
