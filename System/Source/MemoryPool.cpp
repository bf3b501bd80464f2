#include "System/Source/MemoryPool.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

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
    if (!tail && rest <= 16) {
        pool->rover = pool->Next(block);
    } else {
        uint32_t offset = pool->OffsetOf(block) + size;
        PoolBlock* split = At(pool, offset);
        split->prev = pool->OffsetOf(block);
        split->next = block->next;
        split->free = 1;
        if (PoolBlock* oldNext = pool->Next(block)) oldNext->prev = offset;
        split->size = tail ? 0 : rest;
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
    return pool;
}

void DestroyPool(MemoryPool* pool) {
    if (!pool || pool == g_enginePool) return;
    std::free(pool->base);
    std::free(pool);
}

PoolBlock* PoolAllocate(MemoryPool* pool, uint32_t size) {
    // A block smaller than its header would overlap the block split off it.
    if (size < sizeof(PoolBlock)) return nullptr;
    if (uint64_t(pool->fill) + size > pool->capacity) return nullptr;
    // Next fit from the rover; the tail ends the walk.
    PoolBlock* block = pool->rover;
    while (!IsTail(block) && !(block->free && block->size >= size)) block = pool->Next(block);
    if (!IsTail(block) || TailHasRoom(pool, block, size)) return TakeBlock(pool, block, size);
    // The tail is too small: the holes before the rover may still fit.
    for (PoolBlock* b = pool->base; b != pool->rover && !IsTail(b); b = pool->Next(b)) {
        if (b->free && b->size >= size) return TakeBlock(pool, b, size);
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
    while (PoolBlock* next = pool->Next(target)) {
        if (!next->free) break;
        target->size += next->size;
        target->next = next->next;
        if (PoolBlock* after = pool->Next(next)) after->prev = pool->OffsetOf(target);
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
        std::free(pool->base);
        std::free(pool);
        return;
    }
    // Blocks still in use (exit-time destructors release them later): keep
    // the block reserved until the process ends, its range recognisable.
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
