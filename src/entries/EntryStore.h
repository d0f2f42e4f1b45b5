#pragma once

#include <QString>
#include <QStringList>

class TEntryList;

// The entry store, entrys.txt: one INI section per entry, entryno0, entryno1, ... in list order,
// each with the keys entryname, address, port, localfile and remotefile.

// Where the list is kept. An installed program (a package, or `cmake --install` to any prefix)
// keeps each user's list in $XDG_CONFIG_HOME/zanvel-tftp/entrys.txt, whoever runs it, and a user
// without a list starts from the administrator's, zanvel-tftp/entrys.txt in the first folder of
// $XDG_CONFIG_DIRS that has one. A program run where it was built, or copied somewhere by hand,
// keeps entrys.txt beside its executable; when it may not write there, the user's list is in the
// configuration folder and the one beside the executable is the list they start from.
struct TStoreLocation {
    TStoreLocation(QString Path, QString Shipped = QString());

    // The file the list is saved to.
    QString Path;
    // The list a user starts from while Path does not exist yet, never written by the program;
    // empty when there is none.
    QString Shipped;

    // The file the list is read from.
    QString ReadPath() const;
    // Whether a list read from ReadPath() is saved over that same file.
    bool ReadsWhatItSaves() const;
};

// What the location depends on, gathered from the running program and its environment.
struct TStoreEnvironment {
    QString ProgramDir;
    bool Installed = false;
    // Whether the user running the program may write ProgramDir.
    bool ProgramDirWritable = false;
    QString Home;
    // $XDG_CONFIG_HOME and $XDG_CONFIG_DIRS as they are set, empty when they are not.
    QString ConfigHome;
    QString ConfigDirs;
};

TStoreLocation StoreLocation(const TStoreEnvironment& Environment);
// The running program's store, by the rule above.
TStoreLocation EntryStoreLocation();

// What a store file turned out to hold.
enum class TStoreContent {
    Nothing, // no file, or an empty one
    Entries,
    Foreign, // text without a single entry: not this program's, and so never removed by it
};

// Appends the stored entries to List; a missing store adds nothing. The list ends at the first
// absent section. Raises EEntryStoreError when the store exists but cannot be read. A key whose
// value is no number in its range is left out; when Ignored is given, each such key is added to
// it, as "entry \"core\": timeout=300 ignored: it takes 1 to 255".
TStoreContent LoadEntries(TEntryList& List, const QString& Path, QStringList* Ignored = nullptr);

// Replaces the store with List. The new store is written beside the old one and put in its
// place only when complete, so a failed save, reported as EEntryStoreError
// "<path> に書き込めません", leaves the old store as it was. An empty List removes a store that
// held entries, silently keeping one that cannot be removed, and leaves a foreign or unreadable
// file as it is.
void SaveEntries(const TEntryList& List, const QString& Path);
// Saves to Store.Path, creating its folder. Where the user started from a list not their own, an
// emptied list is kept as an empty store instead: removing it would bring the shipped entries
// back at the next start.
void SaveEntries(const TEntryList& List, const TStoreLocation& Store);
