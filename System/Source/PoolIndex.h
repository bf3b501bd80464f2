// Where the free blocks of a memory pool start (all but its tail), so that
// the pool's next-fit search jumps to the first free block large enough
// instead of walking the chain. A live block can never satisfy that search,
// so the first indexed block at or after the rover that is large enough is
// exactly the block a walk along the chain would stop at.
//
// Blocks are at least 16 bytes, so each 16-byte granule of the pool holds at
// most one block start: a bitmap with one bit per granule marks the free
// ones, and levels of summary words above it (one bit per non-empty word
// below) find the next marked granule in a few word operations. Beside each
// bit is a size class, a byte: for a granule its block's size in granules,
// for a word below at least the class of every block under it. One 64-byte
// line of classes so tells which of a word's 64 entries may hold a block
// large enough, without reading headers or branching on each. Classes of
// words only rise when blocks are listed or grow; a search that finds
// nothing under one lowers it, which keeps releases cheap.
//
// The memory is one zeroed heap block sized with the pool (under a seventh
// of its capacity, committed by the system only where it is touched). The
// operations of every allocation and release are inline: they are a few
// word operations each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace System {

class PoolIndex {
public:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;

    // An index for the pool memory of `capacity` bytes at `base`; null when
    // its memory cannot be had.
    static PoolIndex* Create(char* base, uint32_t capacity);
    static void Destroy(PoolIndex* index);

    // Whether the block at `offset` is listed.
    bool Listed(uint32_t offset) const {
        uint32_t granule = offset >> kGranuleShift;
        return (words_[0][granule >> 6] >> (granule & 63)) & 1;
    }

    // Lists the free block at `offset` whose size is `size`.
    void Insert(uint32_t offset, uint32_t size) {
        // Mark upwards until a word that already had a mark: its own mark in
        // the level above is set.
        uint32_t index = offset >> kGranuleShift;
        for (int k = 0; k < levels_; ++k) {
            uint64_t& word = words_[k][index >> 6];
            bool wasEmpty = word == 0;
            word |= BitOf(index);
            if (!wasEmpty) break;
            index >>= 6;
        }
        // An empty word's class is 0, so raising classes is all that is left.
        Grow(offset, size);
    }

    void Remove(uint32_t offset) {
        uint32_t index = offset >> kGranuleShift;
        uint64_t& word = words_[0][index >> 6];
        word &= ~BitOf(index);
        if (word == 0) Emptied(index >> 6);
    }

    // The listed block at `offset` has grown to `size` bytes.
    void Grow(uint32_t offset, uint32_t size) {
        Describe(offset, size);
        // Raise the classes of the words above. A few levels of plain maxima
        // cost less than a branch the processor cannot predict.
        uint8_t c = ClassOf(size);
        uint32_t index = offset >> kGranuleShift;
        for (int k = 1; k < levels_; ++k) {
            index >>= 6;
            uint8_t& above = classes_[k][index];
            above = above < c ? c : above;
        }
    }

    // The listed block at `from` gave its front away: what is left starts
    // at `to` and has `size` bytes.
    void CutFront(uint32_t from, uint32_t to, uint32_t size) {
        if (MoveMark(from, to)) {
            // It only got smaller: the classes above still hold.
            Describe(to, size);
        } else {
            Remove(from);
            Insert(to, size);
        }
    }

    // The first listed block at or after `offset` whose size (read from its
    // header) is at least `size`; kNone when there is none.
    uint32_t FindFrom(uint32_t offset, uint32_t size) {
        uint32_t first = offset >> kGranuleShift;
        uint32_t word = first >> 6;
        // Two blocks are at least 16 bytes apart, so the granule of `offset`
        // holds no listed block before it.
        uint64_t candidates = MayFit(0, word, ClassOf(size));
        uint32_t granule = FirstFit(word, candidates & ~(BitOf(first) - 1), size);
        if (granule != kNone) return OffsetOf(granule);
        return FindAfter(word, candidates & (BitOf(first) - 1), size);
    }

    // The offsets of all listed blocks in address order.
    std::vector<uint32_t> Offsets() const;

private:
    static constexpr uint32_t kGranuleShift = 4;  // 16 bytes, the smallest block
    static constexpr std::size_t kLine = 64;
    // 2^32 bytes are 2^28 granules: five levels of 64-bit words reach one.
    static constexpr int kMaxLevels = 5;

    static uint64_t BitOf(uint32_t index) { return uint64_t(1) << (index & 63); }
    static uint32_t FirstBit(uint64_t bits) { return uint32_t(__builtin_ctzll(bits)); }
    static uint8_t ClassOf(uint32_t size) {
        return size >= (255u << kGranuleShift) ? 255 : uint8_t(size >> kGranuleShift);
    }

    PoolIndex() = default;

    uint32_t OffsetOf(uint32_t granule) const {
        uint32_t offset = granule << kGranuleShift;
        return unaligned_ ? offset + startInGranule_[granule] : offset;
    }

    // Moves the mark of a block within a level-0 word; false when `from` and
    // `to` lie in different words.
    bool MoveMark(uint32_t from, uint32_t to) {
        uint32_t a = from >> kGranuleShift;
        uint32_t b = to >> kGranuleShift;
        if ((a >> 6) != (b >> 6)) return false;
        words_[0][a >> 6] ^= BitOf(a) | BitOf(b);
        return true;
    }

    // Records where in its granule the block at `offset` starts and its size.
    void Describe(uint32_t offset, uint32_t size) {
        uint32_t granule = offset >> kGranuleShift;
        classes_[0][granule] = ClassOf(size);
        if (offset & 15) unaligned_ = true;
        if (unaligned_) startInGranule_[granule] = uint8_t(offset & 15);
    }

    // The entries of `word` at `level` whose class is at least `least`.
    uint64_t MayFit(int level, uint32_t word, uint8_t least) const {
        const uint8_t* classes = classes_[level] + std::size_t(word) * kLine;
#if defined(__SSE2__)
        const __m128i floor = _mm_set1_epi8(char(least));
        auto part = [&](int n) {
            __m128i c = _mm_load_si128(reinterpret_cast<const __m128i*>(classes + 16 * n));
            __m128i atLeast = _mm_cmpeq_epi8(_mm_max_epu8(c, floor), c);
            return uint64_t(uint16_t(_mm_movemask_epi8(atLeast))) << (16 * n);
        };
        uint64_t mask = part(0) | part(1) | part(2) | part(3);
#else
        uint64_t mask = 0;
        for (int i = 0; i < 64; ++i) mask |= uint64_t(classes[i] >= least) << i;
#endif
        return words_[level][word] & mask;
    }

    uint32_t FirstFit(uint32_t word, uint64_t candidates, uint32_t size) const;
    void Emptied(uint32_t word);
    uint32_t Descend(int level, uint32_t word, uint32_t size);
    uint32_t FindAfter(uint32_t word, uint64_t before, uint32_t size);

    const char* base_ = nullptr;
    void* memory_ = nullptr;
    int levels_ = 0;
    uint32_t firstLevelWords_ = 0;
    // Level 0 marks granules; level k + 1 marks the non-empty words of level k.
    uint64_t* words_[kMaxLevels] = {};
    // One class per bit of each level (size in granules, 255 for 255 and
    // more): of the granule's block, or the largest under the word below.
    uint8_t* classes_[kMaxLevels] = {};
    // Blocks made by requests that are not multiples of 16 bytes start inside
    // a granule; from the first such block on, every granule keeps where in
    // it its block starts.
    uint8_t* startInGranule_ = nullptr;
    bool unaligned_ = false;
};

}  // namespace System
