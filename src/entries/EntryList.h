#pragma once

#include "entries/serverEntry.h"

#include <memory>
#include <vector>

// An ordered list of server entries that owns them. Indexes count from 0; an index outside the
// list raises std::out_of_range.
class TEntryList {
public:
    int Count() const { return int(Items.size()); }
    TServerEntry* Get(int Index) const;

    // Returns the new entry's index.
    int Append(std::unique_ptr<TServerEntry> Entry);
    // Removes the entry and destroys it.
    void Delete(int Index);
    // Puts Entry in the place of the entry at Index, which is destroyed.
    void Replace(int Index, std::unique_ptr<TServerEntry> Entry);
    void Exchange(int Index1, int Index2);

private:
    std::vector<std::unique_ptr<TServerEntry>> Items;
};

// The program's list of upload targets, in the order the user sees them.
extern TEntryList EntryList;
