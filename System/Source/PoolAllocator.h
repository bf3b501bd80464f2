// Pool-aware allocation for the engine's own objects and containers.
//
// Engine classes derive from PoolObject, so `new` and `delete` of them go
// through PoolNew/PoolDelete. Containers owned by the engine use the
// aliases below, whose allocator does the same. The global operator new is
// left alone: libraries in the process (Mesa, Lua, the C++ runtime) keep
// using the ordinary heap.
#pragma once

#include <cstddef>
#include <deque>
#include <list>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "System/Source/MemoryPool.h"

namespace System {

class PoolObject {
public:
    // A null result (the heap, the pool's fallback, is exhausted) skips
    // construction and makes the new-expression yield null, as the engine's
    // creators expect.
    static void* operator new(std::size_t bytes) noexcept { return PoolNew(bytes); }
    static void* operator new[](std::size_t bytes) noexcept { return PoolNew(bytes); }
    static void operator delete(void* p) noexcept { PoolDelete(p); }
    static void operator delete[](void* p) noexcept { PoolDelete(p); }
    // Placement forms stay available.
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void*, void*) noexcept {}
};

template <class T>
struct PoolAllocator {
    using value_type = T;
    static_assert(alignof(T) <= 16, "pool blocks are aligned to 16 bytes");

    PoolAllocator() noexcept = default;
    template <class U>
    PoolAllocator(const PoolAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > std::size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
        void* p = PoolNew(n * sizeof(T));
        if (!p) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) noexcept { PoolDelete(p); }

    template <class U>
    bool operator==(const PoolAllocator<U>&) const noexcept {
        return true;
    }
};

template <class T>
using Vector = std::vector<T, PoolAllocator<T>>;
template <class T>
using List = std::list<T, PoolAllocator<T>>;
template <class T>
using Deque = std::deque<T, PoolAllocator<T>>;
template <class K, class V, class C = std::less<K>>
using Map = std::map<K, V, C, PoolAllocator<std::pair<const K, V>>>;
using String = std::basic_string<char, std::char_traits<char>, PoolAllocator<char>>;

inline String MakeString(std::string_view text) {
    return String(text.data(), text.size());
}
inline std::string ToStd(const String& text) {
    return std::string(text.data(), text.size());
}

}  // namespace System
