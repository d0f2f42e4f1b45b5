#pragma once

#include <QString>

class TEntryList;

// The entry store, entrys.txt: one INI section per entry, entryno0, entryno1, ... in list order,
// each with the keys entryname, address, port, localfile and remotefile.

// entrys.txt beside the program's executable.
QString EntryStorePath();

// Appends the stored entries to List; a missing store adds nothing. The list ends at the first
// absent section. Raises EEntryStoreError when the store exists but cannot be read.
void LoadEntries(TEntryList& List, const QString& Path);

// Replaces the store with List, or removes it when List is empty. The new store is written
// beside the old one and put in its place only when complete, so a failed save, reported as
// EEntryStoreError "<path> に書き込めません", leaves the old store as it was.
void SaveEntries(const TEntryList& List, const QString& Path);
