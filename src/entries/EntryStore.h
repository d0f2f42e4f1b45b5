#pragma once

#include <QString>

class TEntryList;

// The entry store, entrys.txt: one INI section per entry, entryno0, entryno1, ... in list order,
// each with the keys entryname, address, port, localfile and remotefile.

// entrys.txt beside the program's executable.
QString EntryStorePath();

// What a store file turned out to hold.
enum class TStoreContent {
    Nothing, // no file, or an empty one
    Entries,
    Foreign, // text without a single entry: not this program's, and so never removed by it
};

// Appends the stored entries to List; a missing store adds nothing. The list ends at the first
// absent section. Raises EEntryStoreError when the store exists but cannot be read.
TStoreContent LoadEntries(TEntryList& List, const QString& Path);

// Replaces the store with List. The new store is written beside the old one and put in its
// place only when complete, so a failed save, reported as EEntryStoreError
// "<path> に書き込めません", leaves the old store as it was. An empty List removes a store that
// held entries, silently keeping one that cannot be removed, and leaves a foreign or unreadable
// file as it is.
void SaveEntries(const TEntryList& List, const QString& Path);
