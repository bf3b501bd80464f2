#include "System/Source/MemoryPool.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "System/Source/PoolFreeList.h"

namespace System {

namespace {

MemoryPool* g_enginePool = nullptr;

// Engine pools that shutdown retired while blocks were still in use. Their
// headers and blocks stay reserved so that late releases into them are
// recognised; the list has no bound (the engine may start more than once).
MemoryPool* g_retired = nullptr;

// Whether the engine pool has already said that it is full.
bool g_fullReported = false;

// A full pool must not end the game: the request goes to the heap instead.
// PoolDelete routes by address, so such a block is later freed as one.
void* HeapFallback(std::size_t bytes) {
    // No block can be that large; the heap would refuse it too.
    if (bytes > std::size_t(PTRDIFF_MAX)) return nullptr;
    if (!g_fullReported) {
        g_fullReported = true;
        std::printf("Memory pool full: further allocations use the heap\n");
    }
    return std::malloc(bytes);
}

char* BaseBytes(const MemoryPool* pool) {
    return reinterpret_cast<char*>(pool->base);
}

PoolBlock* At(const MemoryPool* pool, uint32_t offset) {
    if (offset == PoolBlock::kNone) return nullptr;
    return reinterpret_cast<PoolBlock*>(BaseBytes(pool) + offset);
}

bool IsTail(const PoolBlock* b) {
    return b->next == PoolBlock::kNone;
}

// The free-list entry of a listed block (three little-endian bytes).
uint32_t EntryOf(const PoolBlock* b) {
    return uint32_t(b->listEntry[0]) | uint32_t(b->listEntry[1]) << 8 |
           uint32_t(b->listEntry[2]) << 16;
}
void SetEntry(PoolBlock* b, uint32_t entry) {
    b->listEntry[0] = uint8_t(entry);
    b->listEntry[1] = uint8_t(entry >> 8);
    b->listEntry[2] = uint8_t(entry >> 16);
}

// Lists the free block `b` before the entry `before` (kNil: at the end).
void ListBlock(MemoryPool* pool, PoolBlock* b, uint32_t before) {
    SetEntry(b, pool->freeBlocks->InsertBefore(before, pool->OffsetOf(b), b->size));
}

// The entry before which the block `b` goes in the list: the nearest free
// block along the chain in either direction tells, so both are walked in
// turn and the shorter run of blocks in use decides.
uint32_t ListPlaceOf(const MemoryPool* pool, const PoolBlock* b) {
    const PoolFreeList& list = *pool->freeBlocks;
    const PoolBlock* ahead = pool->Next(b);
    const PoolBlock* behind = pool->Prev(b);
    for (;;) {
        if (IsTail(ahead)) return PoolFreeList::kNil;
        if (ahead->free) return EntryOf(ahead);
        ahead = pool->Next(ahead);
        if (!behind) return list.Head();
        if (behind->free) return list[EntryOf(behind)].next;
        behind = pool->Prev(behind);
    }
}

// The entry of the first listed block at or after the rover.
uint32_t ListedFromRover(const MemoryPool* pool) {
    const PoolBlock* rover = pool->rover;
    if (IsTail(rover)) return PoolFreeList::kNil;
    return rover->free ? EntryOf(rover) : pool->freeAfterRover;
}

// Hands out `block` for a request of `size` bytes, splitting it when the
// rules say so; returns the block.
PoolBlock* TakeBlock(MemoryPool* pool, PoolBlock* block, uint32_t size) {
    bool tail = IsTail(block);
    uint32_t rest = block->size - size;
    PoolFreeList* list = pool->freeBlocks;
    if (!tail && rest <= 16) {
        if (list) {
            uint32_t entry = EntryOf(block);
            pool->freeAfterRover = (*list)[entry].next;
            list->Erase(entry);
        }
        pool->rover = pool->Next(block);
    } else {
        uint32_t offset = pool->OffsetOf(block) + size;
        PoolBlock* split = At(pool, offset);
        split->prev = pool->OffsetOf(block);
        split->next = block->next;
        split->free = 1;
        if (PoolBlock* oldNext = pool->Next(block)) oldNext->prev = offset;
        split->size = tail ? 0 : rest;
        if (tail) {
            pool->tail = split;
        } else if (list) {
            // The rest of the block keeps its place in the list.
            uint32_t entry = EntryOf(block);
            (*list)[entry].offset = offset;
            (*list)[entry].size = rest;
            SetEntry(split, entry);
        }
        block->next = offset;
        block->size = size;
        pool->rover = split;
    }
    block->free = 0;
    pool->alive += 1;
    pool->created += 1;
    pool->fill += block->size;
    return block;
}

// Whether the tail has room for `size` bytes plus the header of the new tail.
bool TailHasRoom(const MemoryPool* pool, const PoolBlock* tail, uint32_t size) {
    uint64_t end = uint64_t(pool->OffsetOf(tail)) + size + sizeof(PoolBlock);
    return end <= pool->capacity;
}

// Next fit from the rover along the chain (pools without a free list).
PoolBlock* WalkForFit(MemoryPool* pool, uint32_t size) {
    PoolBlock* block = pool->rover;
    while (!IsTail(block) && !(block->free && block->size >= size)) block = pool->Next(block);
    if (!IsTail(block) || TailHasRoom(pool, block, size)) return TakeBlock(pool, block, size);
    for (PoolBlock* b = pool->base; b != pool->rover && !IsTail(b); b = pool->Next(b)) {
        if (b->free && b->size >= size) return TakeBlock(pool, b, size);
    }
    return nullptr;
}

// Frees what CreatePool allocated.
void ReleasePool(MemoryPool* pool) {
    delete pool->freeBlocks;
    std::free(pool->base);
    std::free(pool);
}

}  // namespace

PoolBlock* MemoryPool::Next(const PoolBlock* b) const {
    return At(this, b->next);
}
PoolBlock* MemoryPool::Prev(const PoolBlock* b) const {
    return At(this, b->prev);
}
uint32_t MemoryPool::OffsetOf(const PoolBlock* b) const {
    return uint32_t(reinterpret_cast<const char*>(b) - BaseBytes(this));
}
bool MemoryPool::Contains(const void* p) const {
    const char* c = static_cast<const char*>(p);
    return c >= BaseBytes(this) && c < BaseBytes(this) + capacity;
}

uint32_t ParseMemorySize(const char* text) {
    if (!text) return 0;
    uint32_t value = 0;
    const char* c = text;
    while (*c >= '0' && *c <= '9') {
        value = value * 10u + uint32_t(*c - '0');
        ++c;
    }
    switch (*c) {
        case 'G':
        case 'g':
            return value << 30;
        case 'M':
        case 'm':
            return value << 20;
        case 'K':
        case 'k':
            return value << 10;
        default:
            return value;
    }
}

MemoryPool* CreatePool(uint32_t capacity) {
    if (capacity < sizeof(PoolBlock)) return nullptr;
    void* memory = std::malloc(capacity);
    if (!memory) return nullptr;
    MemoryPool* pool = static_cast<MemoryPool*>(std::malloc(sizeof(MemoryPool)));
    if (!pool) {
        std::free(memory);
        return nullptr;
    }
    new (pool) MemoryPool();
    pool->capacity = capacity;
    pool->base = static_cast<PoolBlock*>(memory);
    pool->base->next = PoolBlock::kNone;
    pool->base->prev = PoolBlock::kNone;
    pool->base->size = 0;
    pool->base->free = 1;
    pool->rover = pool->base;
    pool->tail = pool->base;
    // Free blocks are at least 16 bytes with a block in use between two of
    // them, so a pool holds at most capacity / 32 of them.
    if (capacity / 32u <= PoolFreeList::kMaxEntries) {
        pool->freeBlocks = new (std::nothrow) PoolFreeList();
    }
    return pool;
}

void DestroyPool(MemoryPool* pool) {
    if (!pool || pool == g_enginePool) return;
    ReleasePool(pool);
}

PoolBlock* PoolAllocate(MemoryPool* pool, uint32_t size) {
    // A block smaller than its header would overlap the block split off it.
    if (size < sizeof(PoolBlock)) return nullptr;
    if (uint64_t(pool->fill) + size > pool->capacity) return nullptr;
    PoolFreeList* list = pool->freeBlocks;
    if (!list) return WalkForFit(pool, size);
    // Next fit from the rover: the first free block at or after it that is
    // large enough, else the tail.
    uint32_t start = ListedFromRover(pool);
    for (uint32_t e = start; e != PoolFreeList::kNil; e = (*list)[e].next) {
        if ((*list)[e].size >= size) return TakeBlock(pool, At(pool, (*list)[e].offset), size);
    }
    if (TailHasRoom(pool, pool->tail, size)) return TakeBlock(pool, pool->tail, size);
    // The tail is too small: the holes before the rover may still fit.
    for (uint32_t e = list->Head(); e != start; e = (*list)[e].next) {
        if ((*list)[e].size >= size) return TakeBlock(pool, At(pool, (*list)[e].offset), size);
    }
    return nullptr;
}

void PoolFree(MemoryPool* pool, PoolBlock* block) {
    block->free = 1;
    pool->alive -= 1;
    pool->removed += 1;
    pool->fill -= block->size;
    PoolBlock* target = block;
    if (PoolBlock* prev = pool->Prev(block); prev && prev->free) target = prev;
    if (!pool->rover->free || target < pool->rover) pool->rover = target;
    PoolFreeList* list = pool->freeBlocks;
    // The list entry the merged block ends up with, if it has one already.
    uint32_t entry = target != block && list ? EntryOf(target) : PoolFreeList::kNil;
    while (PoolBlock* next = pool->Next(target)) {
        if (!next->free) break;
        // Free followers other than the block itself are listed.
        if (list && next != block && !IsTail(next)) {
            uint32_t absorbed = EntryOf(next);
            if (entry == PoolFreeList::kNil) {
                // The block takes its free follower's place in the list.
                entry = absorbed;
                (*list)[entry].offset = pool->OffsetOf(target);
            } else {
                list->Erase(absorbed);
            }
        }
        target->size += next->size;
        target->next = next->next;
        if (PoolBlock* after = pool->Next(next)) after->prev = pool->OffsetOf(target);
    }
    if (IsTail(target)) {
        pool->tail = target;
        if (entry != PoolFreeList::kNil) list->Erase(entry);
    } else if (entry != PoolFreeList::kNil) {
        (*list)[entry].size = target->size;
        SetEntry(target, entry);
    } else if (list) {
        ListBlock(pool, target, ListPlaceOf(pool, target));
    }
}

void PrintPoolStatistics(const MemoryPool* pool) {
    std::printf("Created: %u, Removed: %u, Alive: %u Fill: %u/%u\n", pool->created, pool->removed,
                pool->alive, pool->fill, pool->capacity);
}

MemoryPool* GetEnginePool() {
    return g_enginePool;
}

MemoryPool* CreateEnginePool(uint32_t capacity) {
    // A second start retires the first pool, so that its memory stays routed.
    ShutdownEnginePool();
    g_fullReported = false;
    g_enginePool = CreatePool(capacity);
    return g_enginePool;
}

void ShutdownEnginePool() {
    MemoryPool* pool = g_enginePool;
    if (!pool) return;
    g_enginePool = nullptr;
    if (pool->alive == 0) {
        // Nothing of it can be released any more.
        ReleasePool(pool);
        return;
    }
    // Blocks still in use (exit-time destructors release them later): keep
    // the block reserved until the process ends, its range recognisable.
    // Nothing is allocated from it again, so its free list can go.
    delete pool->freeBlocks;
    pool->freeBlocks = nullptr;
    pool->retiredNext = g_retired;
    g_retired = pool;
}

void* PoolNew(std::size_t bytes) {
    MemoryPool* pool = g_enginePool;
    if (!pool) return std::malloc(bytes);
    // Round up so that every block, and so every data address, stays aligned
    // to 16 bytes.
    if (bytes > 0xFFFFFFFFu - 15u - sizeof(PoolBlock)) return HeapFallback(bytes);
    std::size_t rounded = (bytes + 15u) & ~std::size_t(15u);
    PoolBlock* block = PoolAllocate(pool, uint32_t(rounded + sizeof(PoolBlock)));
    if (!block) return HeapFallback(bytes);
    return reinterpret_cast<char*>(block) + sizeof(PoolBlock);
}

void PoolDelete(void* p) {
    if (!p) return;
    MemoryPool* pool = g_enginePool;
    if (pool && pool->Contains(p)) {
        PoolFree(pool, reinterpret_cast<PoolBlock*>(static_cast<char*>(p) - sizeof(PoolBlock)));
        return;
    }
    for (const MemoryPool* retired = g_retired; retired; retired = retired->retiredNext) {
        if (retired->Contains(p)) return;
    }
    std::free(p);
}

void ReportAssertion() {
    std::fprintf(stderr,
                 "ASSERTION FAILED!\nUninitialized value used for object!\nFile: %s.\n Line: %d",
                 "System/Source/Components/Meta", 101);
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
    std::abort();
}

}  // namespace System
