// The engine's memory pool: one large block, a chain of blocks with 16-byte
// headers, next-fit allocation from a roving position, merging on release.
#pragma once

#include <cstddef>
#include <cstdint>

namespace System {

class PoolIndex;

// Block header placed right before the data it describes. Links are 32-bit
// offsets from the pool's base so the header stays 16 bytes on 64-bit.
// Sizes are exact byte counts, so a header may sit at any address: the
// struct is packed (alignment 1) to keep every access well defined.
struct __attribute__((packed)) PoolBlock {
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    uint32_t next;  // offset of the following block, kNone for the tail
    uint32_t prev;  // offset of the preceding block, kNone for the first
    uint32_t size;  // bytes of the block, header included (unused for the tail)
    uint8_t free;   // 1 when free
    uint8_t spare[3];
};
static_assert(sizeof(PoolBlock) == 16, "the block header is 16 bytes");

struct MemoryPool {
    uint32_t capacity = 0;  // bytes in the memory block
    uint32_t fill = 0;      // bytes in blocks in use, headers included
    uint32_t alive = 0;     // blocks in use
    uint32_t created = 0;   // allocations served
    uint32_t removed = 0;   // releases
    PoolBlock* base = nullptr;
    PoolBlock* rover = nullptr;
    PoolBlock* tail = nullptr;
    // Where the free blocks but the tail start; null once the pool retired.
    PoolIndex* freeIndex = nullptr;
    MemoryPool* retiredNext = nullptr;  // after shutdown: the next retired pool

    PoolBlock* Next(const PoolBlock* b) const;
    PoolBlock* Prev(const PoolBlock* b) const;
    uint32_t OffsetOf(const PoolBlock* b) const;
    bool Contains(const void* p) const;
};

// "128m" -> 134217728; G/M/K suffixes (either case) shift by 30/20/10 bits,
// wrapping in 32 bits.
uint32_t ParseMemorySize(const char* text);

// A private pool over a fresh heap block of `capacity` bytes (at least 16).
MemoryPool* CreatePool(uint32_t capacity);
// Frees a private pool's block and header (never the installed one).
void DestroyPool(MemoryPool* pool);

// Serves `size` bytes (header included); null when the pool cannot.
PoolBlock* PoolAllocate(MemoryPool* pool, uint32_t size);
void PoolFree(MemoryPool* pool, PoolBlock* block);
void PrintPoolStatistics(const MemoryPool* pool);

// The engine-wide pool; null before start-up and after shutdown.
MemoryPool* GetEnginePool();
// Start-up: make the engine-wide pool of `capacity` bytes (a pool that
// already exists is shut down first).
MemoryPool* CreateEnginePool(uint32_t capacity);
// Shutdown: the pool pointer becomes null and later allocations go to the
// heap. A pool with blocks still in use keeps its block reserved until exit
// so that late releases of pool memory (exit-time destructors) are
// recognised and ignored; an empty one is freed at once.
void ShutdownEnginePool();

// Pool-aware allocation: the pool while it exists, else the heap. A request
// the existing pool cannot serve goes to the heap too (one line on standard
// output the first time), so null means the heap itself is exhausted. Every
// release is routed by address: inside the live pool -> the pool, inside a
// retired pool -> ignored, anything else -> free().
void* PoolNew(std::size_t bytes);
void PoolDelete(void* p);

// The reflection system's failed-check report: prints the message with the
// title "ASSERTION FAILED!" to standard error and aborts.
[[noreturn]] void ReportAssertion();

}  // namespace System
