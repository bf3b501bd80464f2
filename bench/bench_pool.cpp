// Mixed small allocations through the engine pool against glibc malloc/free.
//
// One fixed pseudo-random pattern drives both: each step picks a slot of a
// working set; an occupied slot is released, an empty one gets a new block
// of 16 to 256 bytes. About half of the slots stay live at any time, so the
// pool works on a fragmented chain as it does in a running game.
#include <benchmark/benchmark.h>

#include "RecordingReporter.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "System/Source/MemoryPool.h"

namespace {

constexpr int kSlots = 1024;
constexpr int kSteps = 8192;

struct Step {
    uint16_t slot;
    uint16_t size;
};

const std::vector<Step>& Pattern() {
    static const std::vector<Step> steps = [] {
        std::vector<Step> out;
        uint32_t state = 2024;
        for (int i = 0; i < kSteps; ++i) {
            state = state * 1664525u + 1013904223u;
            uint16_t slot = uint16_t((state >> 8) % kSlots);
            state = state * 1664525u + 1013904223u;
            // Mostly small requests, now and then up to 256 bytes.
            uint32_t r = state >> 8;
            uint16_t size = uint16_t(r % 8 == 0 ? 16 + (r >> 3) % 241 : 16 + (r >> 3) % 49);
            out.push_back({slot, size});
        }
        return out;
    }();
    return steps;
}

template <void* (*Allocate)(std::size_t), void (*Release)(void*)>
void RunPattern(benchmark::State& state) {
    std::vector<void*> slots(kSlots, nullptr);
    const std::vector<Step>& steps = Pattern();
    for (auto _ : state) {
        for (const Step& step : steps) {
            void*& slot = slots[step.slot];
            if (slot) {
                Release(slot);
                slot = nullptr;
            } else {
                slot = Allocate(step.size);
                static_cast<char*>(slot)[0] = 1;  // touch it, as a constructor would
            }
        }
        benchmark::ClobberMemory();
    }
    for (void*& slot : slots) {
        if (slot) Release(slot);
    }
    state.SetItemsProcessed(state.iterations() * kSteps);
}

void* Malloc(std::size_t n) {
    return std::malloc(n);
}
void Free(void* p) {
    std::free(p);
}

void BM_EnginePool(benchmark::State& state) {
    System::CreateEnginePool(System::ParseMemorySize("128m"));
    RunPattern<&System::PoolNew, &System::PoolDelete>(state);
    System::ShutdownEnginePool();
}

void BM_Malloc(benchmark::State& state) {
    RunPattern<&Malloc, &Free>(state);
}

// The same pattern in a crowded pool: long-lived blocks (a level's objects)
// fill the chain around the working set, as they do in a running game.
constexpr int kResident = 40000;

template <void* (*Allocate)(std::size_t), void (*Release)(void*)>
void RunCrowded(benchmark::State& state) {
    std::vector<void*> resident;
    uint32_t seed = 77;
    for (int i = 0; i < kResident; ++i) {
        seed = seed * 1664525u + 1013904223u;
        resident.push_back(Allocate(16 + (seed >> 8) % 200));
        // Every third one goes again, leaving holes between the others.
        if (i % 3 == 2) {
            Release(resident[resident.size() - 2]);
            resident[resident.size() - 2] = nullptr;
        }
    }
    RunPattern<Allocate, Release>(state);
    for (void* p : resident) {
        if (p) Release(p);
    }
}

void BM_EnginePoolCrowded(benchmark::State& state) {
    System::CreateEnginePool(System::ParseMemorySize("128m"));
    RunCrowded<&System::PoolNew, &System::PoolDelete>(state);
    System::ShutdownEnginePool();
}

void BM_MallocCrowded(benchmark::State& state) {
    RunCrowded<&Malloc, &Free>(state);
}

BENCHMARK(BM_EnginePool);
BENCHMARK(BM_Malloc);
BENCHMARK(BM_EnginePoolCrowded);
BENCHMARK(BM_MallocCrowded);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char* what, const char* poolName, const char* heapName) {
        auto pool = reporter.times.find(poolName);
        auto heap = reporter.times.find(heapName);
        if (pool != reporter.times.end() && heap != reporter.times.end() && heap->second > 0) {
            std::printf("%s pool/malloc time ratio: %.2f\n", what, pool->second / heap->second);
        }
    };
    ratio("mixed 16-256 bytes", "BM_EnginePool", "BM_Malloc");
    ratio("same, crowded pool", "BM_EnginePoolCrowded", "BM_MallocCrowded");
    benchmark::Shutdown();
    return 0;
}
