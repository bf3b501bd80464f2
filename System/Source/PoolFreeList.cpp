#include "System/Source/PoolFreeList.h"

namespace System {

uint32_t PoolFreeList::InsertBefore(uint32_t before, uint32_t offset, uint32_t size) {
    uint32_t entry;
    if (spare_ != kNil) {
        entry = spare_;
        spare_ = entries_[entry].next;
    } else {
        if (entries_.size() >= kMaxEntries) return kNil;
        entry = uint32_t(entries_.size());
        entries_.emplace_back();
    }
    uint32_t after = before == kNil ? last_ : entries_[before].prev;
    entries_[entry] = Entry{offset, size, after, before};
    if (after == kNil) {
        head_ = entry;
    } else {
        entries_[after].next = entry;
    }
    if (before == kNil) {
        last_ = entry;
    } else {
        entries_[before].prev = entry;
    }
    return entry;
}

void PoolFreeList::Erase(uint32_t entry) {
    const Entry& e = entries_[entry];
    if (e.prev == kNil) {
        head_ = e.next;
    } else {
        entries_[e.prev].next = e.next;
    }
    if (e.next == kNil) {
        last_ = e.prev;
    } else {
        entries_[e.next].prev = e.prev;
    }
    entries_[entry].next = spare_;
    spare_ = entry;
}

std::vector<std::pair<uint32_t, uint32_t>> PoolFreeList::Entries() const {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (uint32_t e = head_; e != kNil; e = entries_[e].next) {
        out.emplace_back(entries_[e].offset, entries_[e].size);
    }
    return out;
}

}  // namespace System
