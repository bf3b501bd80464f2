// The free blocks of a memory pool (all but its tail) as a list in address
// order. A live block can never satisfy the pool's next-fit search, so a
// search along this list from the rover finds exactly the block a walk along
// the whole chain finds, while visiting only the free blocks.
//
// Entries live in a side array on the ordinary heap (the pool cannot serve
// its own bookkeeping); a listed block carries its entry's number in the
// spare bytes of its header, so freeing and merging find it at once.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace System {

class PoolFreeList {
public:
    static constexpr uint32_t kNil = 0xFFFFFFFFu;
    // Entry numbers travel in three header bytes.
    static constexpr uint32_t kMaxEntries = 0xFFFFFFu;

    struct Entry {
        uint32_t offset;
        uint32_t size;
        uint32_t prev;
        uint32_t next;
    };

    // Lists (offset, size) before entry `before` (kNil: at the end); returns
    // the new entry's number, kNil when the list is full.
    uint32_t InsertBefore(uint32_t before, uint32_t offset, uint32_t size);
    void Erase(uint32_t entry);

    uint32_t Head() const { return head_; }
    Entry& operator[](uint32_t entry) { return entries_[entry]; }
    const Entry& operator[](uint32_t entry) const { return entries_[entry]; }

    // (offset, size) of every entry in list order.
    std::vector<std::pair<uint32_t, uint32_t>> Entries() const;

private:
    std::vector<Entry> entries_;
    // Erased entries, chained through their `next`, to be used again first.
    uint32_t spare_ = kNil;
    uint32_t head_ = kNil;
    uint32_t last_ = kNil;
};

}  // namespace System
