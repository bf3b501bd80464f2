#include "System/Source/MemoryPool.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "System/Source/PoolIndex.h"

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

// Hands out `block` for a request of `size` bytes, splitting it when the
// rules say so; returns the block.
PoolBlock* TakeBlock(MemoryPool* pool, PoolBlock* block, uint32_t size) {
    bool tail = IsTail(block);
    uint32_t rest = block->size - size;
    PoolIndex* index = pool->freeIndex;
    if (!tail && rest <= 16) {
        index->Remove(pool->OffsetOf(block));
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
        } else {
            index->CutFront(pool->OffsetOf(block), offset, rest);
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

// Frees what CreatePool allocated.
void ReleasePool(MemoryPool* pool) {
    PoolIndex::Destroy(pool->freeIndex);
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
    PoolIndex* index = memory ? PoolIndex::Create(static_cast<char*>(memory), capacity) : nullptr;
    MemoryPool* pool = index ? static_cast<MemoryPool*>(std::malloc(sizeof(MemoryPool))) : nullptr;
    if (!pool) {
        PoolIndex::Destroy(index);
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
    pool->freeIndex = index;
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
    // Next fit from the rover: the first free block at or after it that is
    // large enough, else the tail. Most often the rover itself fits.
    PoolBlock* rover = pool->rover;
    // (One branch for the three tests: which way it goes is hard to guess.)
    if ((rover->free != 0) & (rover->size >= size) & !IsTail(rover)) return TakeBlock(pool, rover, size);
    uint32_t found = pool->freeIndex->FindFrom(pool->OffsetOf(rover), size);
    if (found != PoolIndex::kNone) return TakeBlock(pool, At(pool, found), size);
    if (TailHasRoom(pool, pool->tail, size)) return TakeBlock(pool, pool->tail, size);
    // The tail is too small: the holes before the rover may still fit (none
    // after it does).
    found = pool->freeIndex->FindFrom(0, size);
    if (found != PoolIndex::kNone) return TakeBlock(pool, At(pool, found), size);
    return nullptr;
}

// `into` takes over its follower `next`.
static void Absorb(MemoryPool* pool, PoolBlock* into, PoolBlock* next) {
    into->size += next->size;
    into->next = next->next;
    if (PoolBlock* after = pool->Next(next)) after->prev = pool->OffsetOf(into);
}

void PoolFree(MemoryPool* pool, PoolBlock* block) {
    block->free = 1;
    pool->alive -= 1;
    pool->removed += 1;
    pool->fill -= block->size;
    // Whether a neighbour is free is asked of the index, which stays in the
    // cache, rather than of the neighbour's header. Free blocks are never
    // neighbours, so at most the predecessor and one follower join.
    PoolIndex* index = pool->freeIndex;
    PoolBlock* next = pool->Next(block);  // a block in use is never the tail
    bool nextIsTail = next == pool->tail;
    bool nextListed = !nextIsTail && index->Listed(block->next);
    bool prevFree = block->prev != PoolBlock::kNone && index->Listed(block->prev);
    PoolBlock* target = prevFree ? pool->Prev(block) : block;
    PoolBlock* rover = pool->rover;
    bool roverFree = rover == block || rover == pool->tail || index->Listed(pool->OffsetOf(rover));
    if (!roverFree || target < rover) pool->rover = target;
    uint32_t nextAt = block->next;
    if (prevFree) Absorb(pool, target, block);
    if (nextIsTail || nextListed) Absorb(pool, target, next);
    uint32_t at = pool->OffsetOf(target);
    if (nextIsTail) {
        pool->tail = target;
        if (prevFree) index->Remove(at);
    } else {
        if (nextListed) index->Remove(nextAt);
        if (prevFree) {
            index->Grow(at, target->size);
        } else {
            index->Insert(at, target->size);
        }
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
    // Nothing is allocated from it again, so its index can go.
    PoolIndex::Destroy(pool->freeIndex);
    pool->freeIndex = nullptr;
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
