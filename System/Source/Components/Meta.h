// Reflection: reflected values (MetaValue), reflected methods (MetaMethod)
// and the class metadata template System::MetaData<T>.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "System/Source/PoolAllocator.h"
#include "System/Source/TypeNames.h"

namespace System {
class MetaBase;
}

// A reflected value: an 8-byte payload and two run-time type names, the
// first naming what the payload holds, the second the type it refers to.
// A null first name means "no value".
struct MetaValue {
    union Payload {
        double d;
        void* p;
        int32_t i;
        float f;
        uint64_t bits;
    };
    // What a pointer payload is, so that reads never trust a stray pointer:
    // Plain (a field, a text, an opaque pointer), Object (a reflected
    // object, stored as its System::MetaBase), UserdataBlock (the address of
    // an engine userdata's block, which holds a System::MetaBase pointer).
    enum class Holds : uint8_t { Plain, Object, UserdataBlock };

    Payload payload{.bits = 0};
    const char* typeName = nullptr;
    const char* referredName = nullptr;
    Holds holds = Holds::Plain;

    MetaValue() = default;
    MetaValue(double v) : typeName(NameOf<double>()), referredName(NameOf<double>()) {
        payload.d = v;
    }
    MetaValue(float v) : typeName(NameOf<float>()), referredName(NameOf<float>()) {
        payload.f = v;
    }
    MetaValue(int v) : typeName(NameOf<int>()), referredName(NameOf<int>()) { payload.i = v; }
    MetaValue(bool v) : typeName(NameOf<bool>()), referredName(NameOf<bool>()) {
        payload.i = v ? 1 : 0;
    }

    // Pointer form: the names of T * and T. A reflected object is stored as
    // its System::MetaBase so that reads can check its class.
    template <class T>
    MetaValue(T* p)
        : typeName(System::TypeName<T*>::name), referredName(System::TypeName<T>::name) {
        if constexpr (std::is_base_of_v<System::MetaBase, T>) {
            payload.p = p ? static_cast<System::MetaBase*>(p) : nullptr;
            holds = Holds::Object;
        } else {
            payload.p = const_cast<void*>(static_cast<const void*>(p));
        }
    }

    // A pointer with explicit names (values read from Lua).
    static MetaValue Pointer(void* p, const char* type, const char* referred,
                             Holds holds = Holds::Plain);
    // "No result" (null first name).
    static MetaValue None() { return MetaValue(); }
    // Returned by a method wrapper when `self` is not an object of the
    // method's class; the caller raises a script error.
    static MetaValue BadSelf();
    bool IsBadSelf() const { return typeName == kBadSelfName; }

    bool HasValue() const { return typeName != nullptr; }

    // Exact comparison of the first type name with the name of T. Values
    // the engine makes carry the table's own strings, so the address usually
    // decides; names from elsewhere are compared as text.
    template <class T>
    bool IsType() const {
        const char* name = System::TypeName<T>::name;
        if (typeName == name) return true;
        return typeName && typeName[0] == name[0] && std::strcmp(typeName, name) == 0;
    }
    bool IsNumber() const;  // double, int, float or bool
    bool IsText() const;    // char const * or char *

    // Typed reads. A number read of a non-number gives 0, a text read of a
    // non-text gives "", an object read of anything but a live engine object
    // gives null. Doubles convert without undefined behaviour: NaN gives 0,
    // values out of range saturate.
    double ToDouble() const {
        return typeName == NameOf<double>() ? payload.d : ConvertToDouble();
    }
    int ToInt() const;    // truncation toward zero
    bool ToBool() const;  // ToInt() != 0, so 0.7 is false
    float ToFloat() const;
    char ToChar() const;  // truncation to int, then the low 8 bits
    // A text, or a double (every Lua number) written as Lua writes it, so
    // that Print(3) prints "3". A number's text stays valid until 16 more
    // numbers are read as text on the thread: callers copy it or use it
    // within the call that read it.
    const char* ToString() const;
    System::MetaBase* ToObjectBase() const;
    template <class T>
    T* ToObject() const {
        System::MetaBase* base = ToObjectBase();
        return base ? dynamic_cast<T*>(base) : nullptr;
    }

    // The name of a method's answer when its object is of another class.
    static constexpr char kBadSelfName[] = "<no object of the method's class>";

    template <class T>
    static constexpr const char* NameOf() {
        return System::TypeName<T>::name;
    }

    // The payload read as T without any test (for values the engine made).
    template <class T>
    T Get() const {
        if constexpr (std::is_pointer_v<T>) {
            // An object is stored as its System::MetaBase, which need not be
            // at the start of the object: convert back from that base.
            using Pointee = std::remove_cv_t<std::remove_pointer_t<T>>;
            if constexpr (std::is_base_of_v<System::MetaBase, Pointee>) {
                if (holds == Holds::Object) {
                    return static_cast<T>(static_cast<System::MetaBase*>(payload.p));
                }
            }
            return static_cast<T>(payload.p);
        } else if constexpr (std::is_same_v<T, double>) {
            return payload.d;
        } else if constexpr (std::is_same_v<T, float>) {
            return payload.f;
        } else if constexpr (std::is_same_v<T, bool>) {
            return payload.i != 0;
        } else {
            return static_cast<T>(payload.i);
        }
    }

private:
    double ConvertToDouble() const;
};

// Truncation toward zero of a double to a 32-bit int, defined for every
// input: NaN gives 0, out-of-range values saturate.
int32_t SafeDoubleToInt(double v);
// A double narrowed to float, saturating instead of overflowing to inf
// only where the double was finite.
float SafeDoubleToFloat(double v);

namespace System {

// A method's argument list: a few values inline, so that a call from Lua
// builds its list without allocating; a longer list moves to the pool.
class ArgList {
public:
    static constexpr uint32_t kInline = 8;

    ArgList() = default;
    ArgList(const ArgList& other) { Append(other); }
    ArgList(ArgList&& other) noexcept { Take(other); }
    ArgList& operator=(const ArgList& other) {
        if (this != &other) {
            clear();
            Append(other);
        }
        return *this;
    }
    ArgList& operator=(ArgList&& other) noexcept {
        if (this != &other) {
            Release();
            Take(other);
        }
        return *this;
    }
    ~ArgList() { Release(); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    MetaValue* data() { return data_; }
    const MetaValue* data() const { return data_; }
    MetaValue* begin() { return data_; }
    MetaValue* end() { return data_ + size_; }
    const MetaValue* begin() const { return data_; }
    const MetaValue* end() const { return data_ + size_; }
    MetaValue& operator[](std::size_t i) { return data_[i]; }
    const MetaValue& operator[](std::size_t i) const { return data_[i]; }
    MetaValue& front() { return data_[0]; }
    const MetaValue& front() const { return data_[0]; }
    MetaValue& back() { return data_[size_ - 1]; }
    const MetaValue& back() const { return data_[size_ - 1]; }

    void reserve(std::size_t count) {
        if (count > capacity_) Grow(count);
    }
    void push_back(const MetaValue& value) {
        if (size_ == capacity_) Grow(std::size_t(capacity_) * 2);
        data_[size_++] = value;
    }
    template <class... A>
    MetaValue& emplace_back(A&&... a) {
        push_back(MetaValue(std::forward<A>(a)...));
        return back();
    }
    void pop_back() { --size_; }
    void clear() { size_ = 0; }

private:
    static_assert(std::is_trivially_copyable_v<MetaValue> &&
                      std::is_trivially_destructible_v<MetaValue>,
                  "values are copied as bytes");

    void Grow(std::size_t count);
    void Append(const ArgList& other) {
        reserve(size_ + other.size_);
        std::memcpy(static_cast<void*>(data_ + size_), other.data_, other.size_ * sizeof(MetaValue));
        size_ += other.size_;
    }
    void Take(ArgList& other) {
        if (other.data_ == other.Inline()) {
            data_ = Inline();
            capacity_ = kInline;
            std::memcpy(static_cast<void*>(data_), other.data_, other.size_ * sizeof(MetaValue));
        } else {
            data_ = other.data_;
            capacity_ = other.capacity_;
            other.data_ = other.Inline();
            other.capacity_ = kInline;
        }
        size_ = other.size_;
        other.size_ = 0;
    }
    void Release() {
        if (data_ != Inline()) PoolDelete(data_);
        data_ = Inline();
        capacity_ = kInline;
        size_ = 0;
    }
    MetaValue* Inline() { return reinterpret_cast<MetaValue*>(inline_); }

    alignas(MetaValue) unsigned char inline_[kInline * sizeof(MetaValue)];
    MetaValue* data_ = Inline();
    uint32_t size_ = 0;
    uint32_t capacity_ = kInline;
};

using MetaArgs = ArgList;
// A reflected method: the object (as its metadata base) and the arguments
// after it; returns a value, or MetaValue::None() for "no result".
using MetaMethod = MetaValue (*)(MetaBase* self, MetaArgs& args);

// The shared value for a missing argument: "char *" / "char" on "".
const MetaValue& NilValue();
// Argument i, or the NilValue when i is out of range.
const MetaValue& GetArgument(const MetaArgs& args, unsigned index);
// Prints each argument's first type name in single quotes, separated by
// ", ", through the console output; no line break.
void PrintArguments(const MetaArgs& args);

// The common base of every MetaData<T>: the per-object property maps, the
// per-class method map and parent link, and the virtual type name.
class MetaBase;
// Whether an object of a family whose objects die while scripts still hold
// them (GUI panels, game objects and components at the state change) is
// still alive. It must not dereference the pointer: it asks a registry.
using LivenessTest = bool (*)(const MetaBase* object);

class MetaBase : public PoolObject {
public:
    // Who frees a run-time property's payload when the object dies.
    enum class Ownership : uint8_t {
        None,      // not owned (a light userdata, a field)
        Block,     // a PoolNew block (bool, double)
        Userdata,  // a Userdata record
        LuaRef,    // a Lua registry reference (a stored thread)
    };
    struct DynamicProperty {
        MetaValue value;
        Ownership ownership = Ownership::None;
        int luaRef = -1;
    };
    using PropertyMap = Map<String, MetaValue, std::less<>>;
    using DynamicMap = Map<String, DynamicProperty, std::less<>>;
    using MethodMap = Map<String, MetaMethod, std::less<>>;

    MetaBase() : serial_(NextSerial()) {}
    MetaBase(const MetaBase&) = delete;
    MetaBase& operator=(const MetaBase&) = delete;
    virtual ~MetaBase();
    virtual const char* GetTypeName() const = 0;
    // The liveness test of the object's family, asked while the object is
    // alive (as it is handed to Lua); null: its objects outlive every script.
    virtual LivenessTest GetLivenessTest() const { return nullptr; }

    // Per object. A name already present keeps its first value.
    void AddProperty(const char* name, const MetaValue& reference);
    bool HasProperty(const char* name) const;
    // The property, or null when the object has no property of that name.
    const MetaValue* FindProperty(const char* name) const;
    const MetaValue* FindProperty(std::string_view name) const;
    // A copy of the property; MetaValue::None() when missing.
    MetaValue GetProperty(const char* name) const;
    // Adds a run-time property. The object takes over the payload as
    // `ownership` says. A name already present keeps its value, and the
    // payload offered for it is released at once. Returns whether added.
    bool AddDynamicProperty(const char* name, const MetaValue& value, Ownership ownership,
                            int luaRef = -1);
    // Gives an existing run-time property a new payload and releases the
    // old one. False (and the offered payload released) when the object has
    // no run-time property of that name.
    bool ReplaceDynamicProperty(const char* name, const MetaValue& value, Ownership ownership);

    const PropertyMap& Properties() const { return properties_; }
    const DynamicMap& DynamicProperties() const { return dynamic_; }

    // Unique for the whole run: a later object at the same address has
    // another, so a reference to this one cannot reach it.
    uint64_t Serial() const { return serial_; }
    // How many objects have been destroyed in the run. While it stands
    // still, every object that was alive at the last look still is.
    static uint64_t Deaths() { return deaths_.load(std::memory_order_relaxed); }
    // Counts a death. Every destructor does; a registry of live objects
    // also does as an object leaves it, which may be before the object's
    // destructor is done.
    static void NoteDeath() { deaths_.fetch_add(1, std::memory_order_relaxed); }

    // Per class (only the static instance of a class uses these).
    const MethodMap& Methods() const { return methods_; }
    const MetaBase* Parent() const { return parent_; }
    bool InsertMethod(const char* name, MetaMethod method);  // first wins
    void SetParentMeta(const MetaBase* parent) { parent_ = parent; }

    // Releases a run-time property's Lua reference, which anchors `value`
    // (the property's payload); installed by the Lua layer (null while there
    // is no Lua state).
    static void (*releaseLuaRef)(int ref, const void* value);

private:
    static void Release(const DynamicProperty& property);
    static uint64_t NextSerial();

    uint64_t serial_;
    static inline std::atomic<uint64_t> deaths_{0};

    MethodMap methods_;
    PropertyMap properties_;
    DynamicMap dynamic_;
    const MetaBase* parent_ = nullptr;
    // The property found last: scripts mostly read and write one property in
    // turn (obj.x = obj.x + 1). Entries live as long as the object, since
    // properties are never removed.
    mutable const PropertyMap::value_type* lastFound_ = nullptr;
};

// Adapts a typed method body to a MetaMethod: checks that `self` is an
// object of C (or derived) and returns MetaValue::BadSelf() otherwise.
template <class C, MetaValue (*Body)(C& self, MetaArgs& args)>
MetaValue Method(MetaBase* self, MetaArgs& args) {
    if (!self) return MetaValue::BadSelf();
    C* object;
    // An object of exactly the method's class needs no search of its bases.
    if constexpr (requires { static_cast<C*>(std::declval<MetaBase*>()); }) {
        object = typeid(*self) == typeid(C) ? static_cast<C*>(self) : dynamic_cast<C*>(self);
    } else {
        object = dynamic_cast<C*>(self);
    }
    if (!object) return MetaValue::BadSelf();
    return Body(*object, args);
}

// The reflection base of class T. As an object's base it holds that
// object's properties; its one static instance per class (built on first
// use) holds the class's methods and the link to its parent's metadata.
template <class T>
class MetaData : public MetaBase {
public:
    const char* GetTypeName() const override { return TypeName<T>::name; }

    static MetaData<T>& GetStatic() {
        static MetaData<T> instance(StaticTag{});
        return instance;
    }
    // A name already registered keeps its first method.
    static void AddMethod(const char* name, MetaMethod method) {
        GetStatic().InsertMethod(name, method);
    }
    // Runs B's method registration, then links T's metadata to B's.
    template <class B>
    static void SetParent() {
        B::RegisterMethods();
        MetaData<B>& base = MetaData<B>::GetStatic();
        GetStatic().SetParentMeta(&base);
    }

protected:
    MetaData() = default;

private:
    struct StaticTag {};
    explicit MetaData(StaticTag) {}
};

}  // namespace System

// What a property holds when a script stores a userdata in it: the object
// and the class name of the userdata's metatable ("NULL" when none), with
// what tells later whether it is still that object: its serial and its
// family's liveness test, as the userdata's block held them.
struct Userdata : public System::PoolObject {
    System::MetaBase* object = nullptr;
    uint64_t serial = 0;
    System::LivenessTest liveness = nullptr;
    System::String className;
};
