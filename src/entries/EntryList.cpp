#include "entries/EntryList.h"

#include <stdexcept>
#include <utility>

TEntryList EntryList;

namespace {

void CheckIndex(int Index, int Count) {
    if (Index < 0 || Index >= Count) {
        throw std::out_of_range("entry index out of range");
    }
}

} // namespace

TServerEntry* TEntryList::Get(int Index) const {
    CheckIndex(Index, Count());
    return Items[size_t(Index)].get();
}

int TEntryList::Append(std::unique_ptr<TServerEntry> Entry) {
    Items.push_back(std::move(Entry));
    return Count() - 1;
}

void TEntryList::Delete(int Index) {
    CheckIndex(Index, Count());
    Items.erase(Items.begin() + Index);
}

void TEntryList::Replace(int Index, std::unique_ptr<TServerEntry> Entry) {
    CheckIndex(Index, Count());
    Items[size_t(Index)] = std::move(Entry);
}

void TEntryList::Exchange(int Index1, int Index2) {
    CheckIndex(Index1, Count());
    CheckIndex(Index2, Count());
    std::swap(Items[size_t(Index1)], Items[size_t(Index2)]);
}
