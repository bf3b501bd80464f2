#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "System/Source/MemoryPool.h"
#include "System/Source/PoolAllocator.h"
#include "System/Source/PoolIndex.h"
#include "support/TestSupport.h"

using System::MemoryPool;
using System::PoolBlock;

namespace {

// A private pool, destroyed at the end of the test.
struct PrivatePool {
    explicit PrivatePool(uint32_t capacity) : pool(System::CreatePool(capacity)) {}
    ~PrivatePool() { System::DestroyPool(pool); }
    MemoryPool* operator->() const { return pool; }
    MemoryPool* pool;
};

// The engine-wide pool for the length of one test; always shut down again.
struct EnginePoolScope {
    explicit EnginePoolScope(uint32_t capacity) : pool(System::CreateEnginePool(capacity)) {}
    ~EnginePoolScope() { System::ShutdownEnginePool(); }
    MemoryPool* pool;
};

uint32_t Offset(const MemoryPool* pool, const PoolBlock* block) {
    return pool->OffsetOf(block);
}

PoolBlock* Tail(const MemoryPool* pool) {
    PoolBlock* b = pool->base;
    while (pool->Next(b)) b = pool->Next(b);
    return b;
}

struct Counters {
    uint32_t fill, alive, created, removed;
    bool operator==(const Counters&) const = default;
};
Counters CountersOf(const MemoryPool* pool) {
    return {pool->fill, pool->alive, pool->created, pool->removed};
}

// Walks the whole chain and checks everything the pool promises about it.
testing::AssertionResult ChainIsSound(const MemoryPool* pool) {
    const char* begin = reinterpret_cast<const char*>(pool->base);
    const PoolBlock* prev = nullptr;
    bool roverSeen = false;
    uint32_t alive = 0;
    uint64_t fill = 0;
    int index = 0;
    for (const PoolBlock* b = pool->base; b; prev = b, b = pool->Next(b), ++index) {
        const char* at = reinterpret_cast<const char*>(b);
        if (at + sizeof(PoolBlock) > begin + pool->capacity)
            return testing::AssertionFailure() << "block " << index << " ends past the pool";
        if (pool->Prev(b) != prev)
            return testing::AssertionFailure() << "block " << index << " has a wrong prev";
        if (prev && b <= prev)
            return testing::AssertionFailure() << "block " << index << " is out of order";
        if (prev && prev->free && b->free)
            return testing::AssertionFailure()
                   << "blocks " << index - 1 << " and " << index << " are both free";
        if (b == pool->rover) roverSeen = true;
        const PoolBlock* next = pool->Next(b);
        if (!next) {
            if (!b->free) return testing::AssertionFailure() << "the tail is in use";
            continue;
        }
        uint64_t distance = reinterpret_cast<const char*>(next) - at;
        if (b->size != distance)
            return testing::AssertionFailure()
                   << "block " << index << " has size " << b->size << ", distance " << distance;
        if (b->size < sizeof(PoolBlock))
            return testing::AssertionFailure() << "block " << index << " is smaller than a header";
        if (!b->free) {
            ++alive;
            fill += b->size;
        }
    }
    if (!roverSeen) return testing::AssertionFailure() << "the rover is not on the chain";
    if (prev != pool->tail) return testing::AssertionFailure() << "the tail pointer is stale";
    std::vector<uint32_t> freeBlocks;
    for (const PoolBlock* b = pool->base; pool->Next(b); b = pool->Next(b)) {
        if (b->free) freeBlocks.push_back(pool->OffsetOf(b));
    }
    if (pool->freeIndex && pool->freeIndex->Offsets() != freeBlocks)
        return testing::AssertionFailure() << "the free index differs from the chain";
    if (alive != pool->alive)
        return testing::AssertionFailure() << "alive " << pool->alive << ", chain has " << alive;
    if (fill != pool->fill)
        return testing::AssertionFailure() << "fill " << pool->fill << ", chain has " << fill;
    if (pool->created - pool->removed != pool->alive)
        return testing::AssertionFailure() << "created - removed != alive";
    if (pool->fill > pool->capacity) return testing::AssertionFailure() << "fill past capacity";
    return testing::AssertionSuccess();
}

// The search as a plain walk along the chain from the rover, with its own
// split and merge: the pool's indexed search must pick the very same blocks.
namespace walk {

PoolBlock* At(MemoryPool* pool, uint32_t offset) {
    return offset == PoolBlock::kNone
               ? nullptr
               : reinterpret_cast<PoolBlock*>(reinterpret_cast<char*>(pool->base) + offset);
}

PoolBlock* Take(MemoryPool* pool, PoolBlock* block, uint32_t size) {
    bool tail = block->next == PoolBlock::kNone;
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

PoolBlock* Allocate(MemoryPool* pool, uint32_t size) {
    if (uint64_t(pool->fill) + size > pool->capacity) return nullptr;
    PoolBlock* b = pool->rover;
    while (pool->Next(b) && !(b->free && b->size >= size)) b = pool->Next(b);
    if (pool->Next(b) || uint64_t(pool->OffsetOf(b)) + size + 16 <= pool->capacity)
        return Take(pool, b, size);
    for (b = pool->base; b != pool->rover && pool->Next(b); b = pool->Next(b)) {
        if (b->free && b->size >= size) return Take(pool, b, size);
    }
    return nullptr;
}

void Free(MemoryPool* pool, PoolBlock* block) {
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

}  // namespace walk

}  // namespace

TEST(PoolSize, ParsesSuffixesAndWraps) {
    EXPECT_EQ(System::ParseMemorySize("128m"), 134217728u);
    EXPECT_EQ(System::ParseMemorySize("128M"), 134217728u);
    EXPECT_EQ(System::ParseMemorySize("4k"), 4096u);
    EXPECT_EQ(System::ParseMemorySize("4K"), 4096u);
    EXPECT_EQ(System::ParseMemorySize("100m"), 104857600u);
    EXPECT_EQ(System::ParseMemorySize("1g"), 1073741824u);
    EXPECT_EQ(System::ParseMemorySize("4G"), 0u);
    EXPECT_EQ(System::ParseMemorySize("512"), 512u);
    // Only the character right after the digits counts.
    EXPECT_EQ(System::ParseMemorySize("2xm"), 2u);
    EXPECT_EQ(System::ParseMemorySize("m"), 0u);
    EXPECT_EQ(System::ParseMemorySize(""), 0u);
    EXPECT_EQ(System::ParseMemorySize(nullptr), 0u);
}

TEST(PoolAllocate, FirstAllocationComesFromTheTail) {
    PrivatePool pool(4096);
    ASSERT_NE(pool.pool, nullptr);
    EXPECT_EQ(pool->rover, pool->base);
    EXPECT_EQ(CountersOf(pool.pool), (Counters{0, 0, 0, 0}));

    PoolBlock* block = System::PoolAllocate(pool.pool, 100 + 16);
    ASSERT_EQ(block, pool->base);
    EXPECT_EQ(block->size, 116u);
    EXPECT_EQ(block->free, 0);
    EXPECT_EQ(Offset(pool.pool, pool->rover), 116u);
    EXPECT_EQ(pool->rover, Tail(pool.pool));
    EXPECT_EQ(CountersOf(pool.pool), (Counters{116, 1, 1, 0}));
    EXPECT_TRUE(ChainIsSound(pool.pool));
}

TEST(PoolAllocate, SplitsOnlyWhenMoreThanSixteenBytesAreLeft) {
    for (uint32_t excess : {16u, 17u}) {
        SCOPED_TRACE(excess);
        PrivatePool pool(4096);
        PoolBlock* a = System::PoolAllocate(pool.pool, 64);
        PoolBlock* hole = System::PoolAllocate(pool.pool, 100 + excess);
        PoolBlock* guard = System::PoolAllocate(pool.pool, 48);
        ASSERT_TRUE(a && hole && guard);
        System::PoolFree(pool.pool, hole);
        EXPECT_EQ(pool->rover, hole);
        Counters before = CountersOf(pool.pool);

        PoolBlock* got = System::PoolAllocate(pool.pool, 100);
        ASSERT_EQ(got, hole);
        if (excess == 16) {
            // Handed out whole: the size and the fill keep the 16 bytes.
            EXPECT_EQ(got->size, 116u);
            EXPECT_EQ(pool->Next(got), guard);
            EXPECT_EQ(pool->rover, guard);
            EXPECT_EQ(pool->fill, before.fill + 116);
        } else {
            EXPECT_EQ(got->size, 100u);
            PoolBlock* rest = pool->Next(got);
            EXPECT_EQ(Offset(pool.pool, rest), 64u + 100u);
            EXPECT_EQ(rest->size, 17u);
            EXPECT_EQ(rest->free, 1);
            EXPECT_EQ(pool->Next(rest), guard);
            EXPECT_EQ(pool->Prev(guard), rest);
            EXPECT_EQ(pool->rover, rest);
            EXPECT_EQ(pool->fill, before.fill + 100);
        }
        EXPECT_EQ(pool->alive, before.alive + 1);
        EXPECT_EQ(pool->created, before.created + 1);
        EXPECT_TRUE(ChainIsSound(pool.pool));
    }
}

TEST(PoolFree, MergesBothFreeNeighboursAndMovesTheRover) {
    PrivatePool pool(4096);
    PoolBlock* a = System::PoolAllocate(pool.pool, 50);
    PoolBlock* b = System::PoolAllocate(pool.pool, 60);
    PoolBlock* c = System::PoolAllocate(pool.pool, 70);
    PoolBlock* guard = System::PoolAllocate(pool.pool, 80);
    ASSERT_TRUE(a && b && c && guard);

    System::PoolFree(pool.pool, a);
    EXPECT_EQ(pool->rover, a);
    // Too big for the hole at a: served from the tail, the rover follows.
    ASSERT_NE(System::PoolAllocate(pool.pool, 100), nullptr);
    EXPECT_EQ(pool->rover, Tail(pool.pool));
    System::PoolFree(pool.pool, c);
    EXPECT_EQ(pool->rover, c);

    System::PoolFree(pool.pool, b);
    EXPECT_EQ(a->size, 50u + 60u + 70u);
    EXPECT_EQ(a->free, 1);
    EXPECT_EQ(pool->Next(a), guard);
    EXPECT_EQ(pool->Prev(guard), a);
    EXPECT_EQ(pool->rover, a);
    EXPECT_EQ(CountersOf(pool.pool), (Counters{80 + 100, 2, 5, 3}));
    EXPECT_TRUE(ChainIsSound(pool.pool));
}

TEST(PoolFree, TheBlockBeforeTheTailBecomesTheTail) {
    PrivatePool pool(4096);
    PoolBlock* a = System::PoolAllocate(pool.pool, 40);
    PoolBlock* b = System::PoolAllocate(pool.pool, 200);
    ASSERT_TRUE(a && b);
    System::PoolFree(pool.pool, b);
    EXPECT_EQ(pool->Next(b), nullptr);
    EXPECT_EQ(pool->Next(a), b);
    EXPECT_EQ(pool->rover, b);
    EXPECT_EQ(CountersOf(pool.pool), (Counters{40, 1, 2, 1}));
    EXPECT_TRUE(ChainIsSound(pool.pool));
    // The next request is served from the merged tail.
    EXPECT_EQ(System::PoolAllocate(pool.pool, 300), b);
    EXPECT_TRUE(ChainIsSound(pool.pool));

    // Freeing everything leaves one free tail at the base.
    System::PoolFree(pool.pool, b);
    System::PoolFree(pool.pool, a);
    EXPECT_EQ(pool->Next(pool->base), nullptr);
    EXPECT_EQ(pool->rover, pool->base);
    EXPECT_EQ(pool->fill, 0u);
    EXPECT_TRUE(ChainIsSound(pool.pool));
}

TEST(PoolAllocate, RequestsPastCapacityFailWithoutSideEffects) {
    PrivatePool pool(1000);
    ASSERT_NE(System::PoolAllocate(pool.pool, 600), nullptr);
    Counters before = CountersOf(pool.pool);
    PoolBlock* rover = pool->rover;
    EXPECT_EQ(System::PoolAllocate(pool.pool, 401), nullptr);
    EXPECT_EQ(System::PoolAllocate(pool.pool, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(CountersOf(pool.pool), before);
    EXPECT_EQ(pool->rover, rover);
    EXPECT_TRUE(ChainIsSound(pool.pool));
}

TEST(PoolAllocate, NeverPlacesABlockPastTheEnd) {
    // A fresh pool: the new tail's header must fit behind the block.
    {
        PrivatePool pool(1000);
        EXPECT_EQ(System::PoolAllocate(pool.pool, 1000), nullptr);
        EXPECT_EQ(System::PoolAllocate(pool.pool, 985), nullptr);
        EXPECT_EQ(pool->created, 0u);
        EXPECT_NE(System::PoolAllocate(pool.pool, 984), nullptr);
        EXPECT_TRUE(ChainIsSound(pool.pool));
    }
    // A request smaller than a header would overlap its own split.
    {
        PrivatePool pool(1000);
        EXPECT_EQ(System::PoolAllocate(pool.pool, 0), nullptr);
        EXPECT_EQ(System::PoolAllocate(pool.pool, 15), nullptr);
        EXPECT_NE(System::PoolAllocate(pool.pool, 16), nullptr);
        EXPECT_TRUE(ChainIsSound(pool.pool));
    }
    // Holes make the capacity test pass while the tail has only 50 bytes.
    PrivatePool pool(1000);
    PoolBlock* a = System::PoolAllocate(pool.pool, 100);
    PoolBlock* b = System::PoolAllocate(pool.pool, 200);
    PoolBlock* c = System::PoolAllocate(pool.pool, 100);
    PoolBlock* d = System::PoolAllocate(pool.pool, 200);
    PoolBlock* e = System::PoolAllocate(pool.pool, 100);
    ASSERT_TRUE(a && b && c && d && e);
    System::PoolFree(pool.pool, b);
    System::PoolFree(pool.pool, d);
    PoolBlock* f = System::PoolAllocate(pool.pool, 250);  // too big for either hole
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(Offset(pool.pool, f), 700u);
    EXPECT_EQ(pool->rover, Tail(pool.pool));
    EXPECT_EQ(Offset(pool.pool, pool->rover), 950u);

    // Fits the hole at b, which lies before the rover.
    PoolBlock* g = System::PoolAllocate(pool.pool, 180);
    ASSERT_EQ(g, b);
    std::memset(reinterpret_cast<char*>(g) + 16, 0x5A, 180 - 16);
    EXPECT_TRUE(ChainIsSound(pool.pool));

    // Bigger than every hole and than the tail's room: refused.
    Counters before = CountersOf(pool.pool);
    EXPECT_EQ(System::PoolAllocate(pool.pool, 210), nullptr);
    EXPECT_EQ(CountersOf(pool.pool), before);
    EXPECT_TRUE(ChainIsSound(pool.pool));
}

TEST(PoolAllocate, RandomSoakKeepsTheChainSound) {
    const uint32_t kCapacity = 32 * 1024;
    PrivatePool pool(kCapacity);
    struct Live {
        PoolBlock* block;
        uint32_t size;
        uint8_t tag;
    };
    std::vector<Live> live;
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return (state >> 8) & 0xFFFFFF;
    };
    auto dataOf = [](PoolBlock* b) { return reinterpret_cast<uint8_t*>(b) + sizeof(PoolBlock); };
    int served = 0, refused = 0;
    for (int step = 0; step < 4000; ++step) {
        SCOPED_TRACE(step);
        bool allocate = live.empty() || next() % 100 < 55;
        if (allocate) {
            uint32_t kind = next() % 10;
            uint32_t size = 16 + next() % (kind < 7 ? 64 : kind < 9 ? 400 : 3000);
            Counters before = CountersOf(pool.pool);
            PoolBlock* b = System::PoolAllocate(pool.pool, size);
            if (!b) {
                ++refused;
                ASSERT_EQ(CountersOf(pool.pool), before);
            } else {
                ++served;
                ASSERT_GE(b->size, size);
                uint8_t tag = uint8_t(step);
                std::memset(dataOf(b), tag, size - sizeof(PoolBlock));
                live.push_back({b, size, tag});
            }
        } else {
            size_t i = next() % live.size();
            System::PoolFree(pool.pool, live[i].block);
            live[i] = live.back();
            live.pop_back();
        }
        ASSERT_TRUE(ChainIsSound(pool.pool));
        // No block handed out overlaps another: every pattern is intact.
        for (const Live& l : live) {
            const uint8_t* p = dataOf(l.block);
            for (uint32_t k = 0; k < l.size - sizeof(PoolBlock); ++k) {
                ASSERT_EQ(p[k], l.tag) << "block at " << Offset(pool.pool, l.block);
            }
        }
    }
    EXPECT_GT(served, 1000);
    EXPECT_GT(refused, 0);
    for (const Live& l : live) System::PoolFree(pool.pool, l.block);
    EXPECT_EQ(pool->fill, 0u);
    EXPECT_EQ(pool->alive, 0u);
    EXPECT_EQ(pool->Next(pool->base), nullptr);
}

TEST(PoolAllocate, IndexedSearchPicksTheBlocksOfAWalkAlongTheChain) {
    struct Case {
        uint32_t capacity;
        uint32_t largeEvery;  // one request in this many is large
        uint32_t largeUpTo;
        bool engineSizes;  // rounded as PoolNew rounds, until halfway
    };
    // Small pools run out and use the holes before the rover; the 1 MiB one
    // fragments like a running game. The 8 MiB one spreads large blocks over
    // every level of the index, runs out too, and gets sizes that are not
    // multiples of 16 only halfway, after blocks were listed.
    const Case cases[] = {{2048, 8, 700, false},
                          {16 * 1024, 8, 700, false},
                          {1024 * 1024, 8, 700, false},
                          {8 * 1024 * 1024, 16, 512 * 1024, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        PrivatePool indexed(c.capacity);
        PrivatePool walked(c.capacity);
        std::vector<uint32_t> live;  // offsets, the same in both pools
        uint32_t state = c.capacity;
        auto next = [&state] {
            state = state * 1664525u + 1013904223u;
            return state >> 8;
        };
        int refused = 0;
        for (int step = 0; step < 20000; ++step) {
            SCOPED_TRACE(step);
            if (live.empty() || next() % 100 < 52) {
                uint32_t r = next();
                uint32_t size = r % c.largeEvery == 0 ? (r >> 4) % c.largeUpTo : (r >> 4) % 60;
                size += 16;
                if (c.engineSizes && step < 10000) size = (size + 15) / 16 * 16 + 16;
                PoolBlock* a = System::PoolAllocate(indexed.pool, size);
                PoolBlock* b = walk::Allocate(walked.pool, size);
                ASSERT_EQ(a ? int64_t(Offset(indexed.pool, a)) : -1,
                          b ? int64_t(Offset(walked.pool, b)) : -1);
                if (a) live.push_back(Offset(indexed.pool, a));
                refused += !a;
            } else {
                size_t i = next() % live.size();
                System::PoolFree(indexed.pool, walk::At(indexed.pool, live[i]));
                walk::Free(walked.pool, walk::At(walked.pool, live[i]));
                live[i] = live.back();
                live.pop_back();
            }
            ASSERT_EQ(Offset(indexed.pool, indexed->rover), Offset(walked.pool, walked->rover));
            ASSERT_EQ(CountersOf(indexed.pool), CountersOf(walked.pool));
            if (step % 97 == 0) {
                ASSERT_TRUE(ChainIsSound(indexed.pool));
            }
        }
        EXPECT_TRUE(ChainIsSound(indexed.pool));
        // Every pool but the one sized like a running game ran out.
        if (c.capacity != 1024 * 1024) {
            EXPECT_GT(refused, 0);
        }
    }
}

TEST(PoolStatistics, PrintsTheCounters) {
    PrivatePool pool(4096);
    PoolBlock* a = System::PoolAllocate(pool.pool, 32);
    ASSERT_NE(System::PoolAllocate(pool.pool, 48), nullptr);
    System::PoolFree(pool.pool, a);
    std::string text = TestSupport::CaptureStdout([&] { System::PrintPoolStatistics(pool.pool); });
    EXPECT_EQ(text, "Created: 2, Removed: 1, Alive: 1 Fill: 48/4096\n");
}

TEST(PoolNew, UsesTheHeapWithoutAnEnginePool) {
    ASSERT_EQ(System::GetEnginePool(), nullptr);
    void* p = System::PoolNew(24);
    ASSERT_NE(p, nullptr);
    std::memset(p, 1, 24);  // the whole count is usable (ASan checks the bounds)
    System::PoolDelete(p);
    System::PoolDelete(nullptr);
}

TEST(PoolNew, ServesAlignedBlocksFromTheEnginePool) {
    EnginePoolScope scope(1 << 20);
    ASSERT_NE(scope.pool, nullptr);
    std::vector<void*> pointers;
    for (std::size_t n : {0, 1, 15, 16, 17, 33, 100, 255}) {
        void* p = System::PoolNew(n);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << n;
        EXPECT_TRUE(scope.pool->Contains(p));
        auto* header = reinterpret_cast<PoolBlock*>(static_cast<char*>(p) - 16);
        EXPECT_EQ(header->size, ((n + 15) / 16) * 16 + 16) << n;
        std::memset(p, 0xCC, n);
        pointers.push_back(p);
    }
    EXPECT_EQ(scope.pool->alive, pointers.size());
    for (void* p : pointers) System::PoolDelete(p);
    EXPECT_EQ(scope.pool->alive, 0u);
    EXPECT_EQ(scope.pool->fill, 0u);

    // Sizes whose rounding or header would wrap are never shortened: the
    // impossible ones are refused, the rest come whole from the heap.
    Counters before = CountersOf(scope.pool);
    TestSupport::CaptureStdout([&] {
        EXPECT_EQ(System::PoolNew(SIZE_MAX), nullptr);
        EXPECT_EQ(System::PoolNew(SIZE_MAX - 15), nullptr);
        for (std::size_t n : {std::size_t(0xFFFFFFF0u), std::size_t(2u << 20)}) {
            void* p = System::PoolNew(n);
            ASSERT_NE(p, nullptr);
            EXPECT_FALSE(scope.pool->Contains(p));
            System::PoolDelete(p);
        }
    });
    EXPECT_EQ(CountersOf(scope.pool), before);
}

TEST(PoolDelete, RoutesEachReleaseByAddress) {
    void* early = System::PoolNew(64);  // heap: made before the pool
    ASSERT_NE(early, nullptr);
    void* inPool = nullptr;
    {
        EnginePoolScope scope(1 << 16);
        ASSERT_NE(scope.pool, nullptr);
        inPool = System::PoolNew(64);
        ASSERT_TRUE(scope.pool->Contains(inPool));
        EXPECT_EQ(scope.pool->alive, 1u);
        System::PoolDelete(early);  // goes back to the heap, not into the pool
        EXPECT_EQ(CountersOf(scope.pool), (Counters{80, 1, 1, 0}));
        EXPECT_TRUE(ChainIsSound(scope.pool));
    }
    EXPECT_EQ(System::GetEnginePool(), nullptr);
    // Pool memory released after shutdown is ignored; the heap serves again.
    System::PoolDelete(inPool);
    void* late = System::PoolNew(32);
    ASSERT_NE(late, nullptr);
    System::PoolDelete(late);
}

TEST(PoolDelete, ManyEngineRestartsKeepLateReleasesSafe) {
    std::vector<void*> leftovers;
    for (int round = 0; round < 20; ++round) {
        EnginePoolScope scope(4096);
        ASSERT_NE(scope.pool, nullptr);
        leftovers.push_back(System::PoolNew(40));
        // A pool emptied before shutdown may give its block back at once.
        System::PoolDelete(System::PoolNew(40));
    }
    for (int round = 0; round < 5; ++round) {
        EnginePoolScope scope(4096);
        System::PoolDelete(System::PoolNew(40));
    }
    for (void* p : leftovers) System::PoolDelete(p);
}

namespace {

struct Big : System::PoolObject {
    char bytes[2000];
};

}  // namespace

TEST(PoolAllocator, ContainersWorkWithAndWithoutTheEnginePool) {
    auto fillAndCheck = [](System::Vector<int>& v, System::Map<System::String, int>& m,
                           System::List<double>& l) {
        for (int i = 0; i < 500; ++i) {
            v.push_back(i);
            m.emplace(System::MakeString("key" + std::to_string(i)), i);
            l.push_back(i * 0.5);
        }
        EXPECT_EQ(v[499], 499);
        EXPECT_EQ(m.at(System::MakeString("key250")), 250);
        EXPECT_EQ(l.back(), 249.5);
    };
    System::Vector<int> heapVector;
    System::Map<System::String, int> heapMap;
    System::List<double> heapList;
    fillAndCheck(heapVector, heapMap, heapList);
    {
        EnginePoolScope scope(1 << 20);
        System::Vector<int> v;
        System::Map<System::String, int> m;
        System::List<double> l;
        fillAndCheck(v, m, l);
        EXPECT_TRUE(scope.pool->Contains(v.data()));
        EXPECT_GT(scope.pool->alive, 1000u);
        // Heap-made containers grow and shrink while the pool lives.
        heapVector.shrink_to_fit();
        heapVector.clear();
        heapVector.shrink_to_fit();
        heapMap.clear();
        v.clear();
        v.shrink_to_fit();
        m.clear();
        l.clear();
        EXPECT_EQ(scope.pool->alive, 0u);
        System::String longText = System::MakeString(std::string(300, 'x'));
        EXPECT_EQ(System::ToStd(longText), std::string(300, 'x'));
    }
    heapList.clear();
}

TEST(PoolAllocator, AFullPoolFallsBackToTheHeap) {
    std::string printed = TestSupport::CaptureStdout([] {
        for (int run = 0; run < 2; ++run) {
            EnginePoolScope scope(4096);
            // A container grows past the pool, and pool objects keep coming.
            System::Vector<char> v;
            v.reserve(10000);
            EXPECT_FALSE(scope.pool->Contains(v.data()));
            Big* first = new Big;
            Big* second = new Big;
            Big* third = new Big;
            ASSERT_NE(third, nullptr);
            EXPECT_TRUE(scope.pool->Contains(first));
            EXPECT_TRUE(scope.pool->Contains(second));
            EXPECT_FALSE(scope.pool->Contains(third));
            // Each block goes back where it came from.
            delete third;
            delete first;
            delete second;
            v.clear();
            v.shrink_to_fit();
            EXPECT_EQ(scope.pool->alive, 0u);
            EXPECT_EQ(scope.pool->fill, 0u);
        }
    });
    // Said once per pool.
    EXPECT_EQ(printed,
              "Memory pool full: further allocations use the heap\n"
              "Memory pool full: further allocations use the heap\n");
}

TEST(PoolDeathTest, AFailedReflectionCheckEndsTheProgram) {
    EXPECT_DEATH(System::ReportAssertion(), "Uninitialized value used for object!");
    EXPECT_DEATH(System::ReportAssertion(), "Line: 101");
}
