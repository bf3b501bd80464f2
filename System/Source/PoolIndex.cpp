#include "System/Source/PoolIndex.h"

#include <cstddef>
#include <cstdlib>
#include <new>

#include "System/Source/MemoryPool.h"

namespace System {

namespace {

uint32_t WordsFor(uint64_t bits) {
    return uint32_t((bits + 63) / 64);
}

}  // namespace

PoolIndex* PoolIndex::Create(char* base, uint32_t capacity) {
    uint32_t granules = uint32_t((uint64_t(capacity) + 15) >> kGranuleShift);
    uint32_t counts[kMaxLevels] = {};
    int levels = 0;
    // The classes are read a word's 64 at a time: whole, aligned lines.
    std::size_t bytes = kLine;
    for (uint64_t below = granules;; below = counts[levels - 1]) {
        counts[levels] = WordsFor(below);
        bytes += std::size_t(counts[levels]) * (sizeof(uint64_t) + kLine);
        ++levels;
        if (counts[levels - 1] <= 1) break;
    }
    bytes += granules;
    PoolIndex* index = new (std::nothrow) PoolIndex();
    if (!index) return nullptr;
    // Zeroed pages from the system: the parts of a large pool never used
    // cost no memory.
    index->memory_ = std::calloc(bytes, 1);
    if (!index->memory_) {
        delete index;
        return nullptr;
    }
    index->base_ = base;
    index->levels_ = levels;
    index->firstLevelWords_ = counts[0];
    char* at = static_cast<char*>(index->memory_);
    at += (kLine - reinterpret_cast<uintptr_t>(at) % kLine) % kLine;
    for (int k = 0; k < levels; ++k) {
        index->classes_[k] = reinterpret_cast<uint8_t*>(at);
        at += std::size_t(counts[k]) * kLine;
    }
    for (int k = 0; k < levels; ++k) {
        index->words_[k] = reinterpret_cast<uint64_t*>(at);
        at += std::size_t(counts[k]) * sizeof(uint64_t);
    }
    index->startInGranule_ = reinterpret_cast<uint8_t*>(at);
    return index;
}

void PoolIndex::Destroy(PoolIndex* index) {
    if (!index) return;
    std::free(index->memory_);
    delete index;
}

// Level-0 word `word` has no mark left: the levels above lose theirs.
void PoolIndex::Emptied(uint32_t word) {
    for (int k = 1; k < levels_; ++k) {
        classes_[k][word] = 0;
        uint64_t& above = words_[k][word >> 6];
        above &= ~BitOf(word);
        if (above != 0) return;
        word >>= 6;
    }
}

// The first granule among `candidates` of level-0 word `word` whose block
// has at least `size` bytes: a class only rounds the size down.
uint32_t PoolIndex::FirstFit(uint32_t word, uint64_t candidates, uint32_t size) const {
    for (; candidates; candidates &= candidates - 1) {
        uint32_t granule = word * 64 + FirstBit(candidates);
        if (reinterpret_cast<const PoolBlock*>(base_ + OffsetOf(granule))->size >= size) {
            return granule;
        }
    }
    return kNone;
}

// The first granule under word `word` of level `level` whose block has at
// least `size` bytes. When there is none, the word's class drops to what
// a block smaller than `size` can have.
uint32_t PoolIndex::Descend(int level, uint32_t word, uint32_t size) {
    uint64_t candidates = MayFit(level, word, ClassOf(size));
    uint32_t granule = kNone;
    if (level == 0) {
        granule = FirstFit(word, candidates, size);
    } else {
        for (; candidates && granule == kNone; candidates &= candidates - 1) {
            granule = Descend(level - 1, word * 64 + FirstBit(candidates), size);
        }
    }
    if (granule == kNone && level + 1 < levels_) classes_[level + 1][word] = ClassOf(size - 1);
    return granule;
}

// The search of FindFrom past the level-0 word `word`. `before` marks the
// entries of that word before the search's start that may fit: with none,
// no block of the word fits.
uint32_t PoolIndex::FindAfter(uint32_t word, uint64_t before, uint32_t size) {
    if (before == 0 && levels_ > 1) classes_[1][word] = ClassOf(size - 1);
    // The words after it at each level, nearest first.
    uint8_t least = ClassOf(size);
    for (int k = 0; k + 1 < levels_; ++k) {
        uint32_t parent = word >> 6;
        uint32_t at = word & 63;
        if (at != 63) {
            uint64_t candidates = MayFit(k + 1, parent, least) & (~uint64_t(0) << (at + 1));
            for (; candidates; candidates &= candidates - 1) {
                uint32_t granule = Descend(k, parent * 64 + FirstBit(candidates), size);
                if (granule != kNone) return OffsetOf(granule);
            }
        }
        word = parent;
    }
    return kNone;
}

std::vector<uint32_t> PoolIndex::Offsets() const {
    std::vector<uint32_t> out;
    for (uint32_t word = 0; word < firstLevelWords_; ++word) {
        for (uint64_t bits = words_[0][word]; bits; bits &= bits - 1) {
            out.push_back(OffsetOf(word * 64 + FirstBit(bits)));
        }
    }
    return out;
}

}  // namespace System
