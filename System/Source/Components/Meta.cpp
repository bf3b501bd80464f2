#include "System/Source/Components/Meta.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <lua.hpp>
#include <string_view>

#include "System/Source/ConsolePrint.h"

namespace {
char g_emptyText[1] = {0};
}  // namespace

int32_t SafeDoubleToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

float SafeDoubleToFloat(double v) {
    if (std::isnan(v) || std::isinf(v)) return static_cast<float>(v);
    if (v > 3.4028234663852886e38) return 3.4028234663852886e38f;
    if (v < -3.4028234663852886e38) return -3.4028234663852886e38f;
    return static_cast<float>(v);
}

MetaValue MetaValue::Pointer(void* p, const char* type, const char* referred, Holds holds) {
    MetaValue v;
    v.payload.p = p;
    v.typeName = type;
    v.referredName = referred;
    v.holds = holds;
    return v;
}

MetaValue MetaValue::BadSelf() {
    MetaValue v;
    v.typeName = kBadSelfName;
    v.referredName = kBadSelfName;
    return v;
}


bool MetaValue::IsNumber() const {
    return IsType<double>() || IsType<int>() || IsType<float>() || IsType<bool>();
}

bool MetaValue::IsText() const {
    return IsType<const char*>() || IsType<char*>();
}

double MetaValue::ConvertToDouble() const {
    if (IsType<double>()) return payload.d;
    if (IsType<int>() || IsType<bool>()) return payload.i;
    if (IsType<float>()) return payload.f;
    return 0.0;
}

int MetaValue::ToInt() const {
    if (IsType<int>() || IsType<bool>()) return payload.i;
    return SafeDoubleToInt(ToDouble());
}

bool MetaValue::ToBool() const {
    return ToInt() != 0;
}

float MetaValue::ToFloat() const {
    if (IsType<float>()) return payload.f;
    return SafeDoubleToFloat(ToDouble());
}

char MetaValue::ToChar() const {
    return static_cast<char>(static_cast<uint8_t>(static_cast<uint32_t>(ToInt()) & 0xFFu));
}

const char* MetaValue::ToString() const {
    if (IsText() && payload.p) return static_cast<const char*>(payload.p);
    if (IsType<double>()) {
        // A few buffers in turn, so that one call can read several numbers
        // as text (a name and a value) and use them together.
        constexpr unsigned kRing = 16;
        thread_local char texts[kRing][LUAI_MAXNUMBER2STR];
        thread_local unsigned next = 0;
        char* text = texts[next++ % kRing];
        std::snprintf(text, LUAI_MAXNUMBER2STR, LUA_NUMBER_FMT, payload.d);
        return text;
    }
    return "";
}

System::MetaBase* MetaValue::ToObjectBase() const {
    if (!payload.p) return nullptr;
    switch (holds) {
        case Holds::Object:
            return static_cast<System::MetaBase*>(payload.p);
        case Holds::UserdataBlock:
            return *static_cast<System::MetaBase**>(payload.p);
        case Holds::Plain:
            break;
    }
    return nullptr;
}

namespace System {

void ArgList::Grow(std::size_t count) {
    if (count > 0xFFFFFFFFu / sizeof(MetaValue)) throw std::bad_alloc();
    auto* grown = static_cast<MetaValue*>(PoolNew(count * sizeof(MetaValue)));
    if (!grown) throw std::bad_alloc();
    std::memcpy(static_cast<void*>(grown), data_, size_ * sizeof(MetaValue));
    if (data_ != Inline()) PoolDelete(data_);
    data_ = grown;
    capacity_ = uint32_t(count);
}

void (*MetaBase::releaseLuaRef)(int ref, const void* value) = nullptr;

const MetaValue& NilValue() {
    static const MetaValue nil = MetaValue::Pointer(g_emptyText, "char *", "char");
    return nil;
}

const MetaValue& GetArgument(const MetaArgs& args, unsigned index) {
    if (index >= args.size()) return NilValue();
    return args[index];
}

void PrintArguments(const MetaArgs& args) {
    const char* prefix = "";
    for (const MetaValue& v : args) {
        ConsolePrintf("%s'%s'", prefix, v.typeName ? v.typeName : "");
        prefix = ", ";
    }
}

uint64_t MetaBase::NextSerial() {
    static std::atomic<uint64_t> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

MetaBase::~MetaBase() {
    NoteDeath();
    for (auto& entry : dynamic_) Release(entry.second);
}

void MetaBase::Release(const DynamicProperty& property) {
    switch (property.ownership) {
        case Ownership::None:
            break;
        case Ownership::Block:
            PoolDelete(property.value.payload.p);
            break;
        case Ownership::Userdata:
            delete static_cast<Userdata*>(property.value.payload.p);
            break;
        case Ownership::LuaRef:
            if (releaseLuaRef && property.luaRef >= 0) {
                releaseLuaRef(property.luaRef, property.value.payload.p);
            }
            break;
    }
}

void MetaBase::AddProperty(const char* name, const MetaValue& reference) {
    if (name) properties_.emplace(name, reference);
}

bool MetaBase::HasProperty(const char* name) const {
    return FindProperty(name) != nullptr;
}

const MetaValue* MetaBase::FindProperty(const char* name) const {
    if (!name) return nullptr;
    // Names are C strings throughout, so no key holds a zero byte and the
    // remembered property is told without measuring the name; names are
    // short, so a plain loop beats a call to strcmp.
    if (lastFound_) {
        const char* known = lastFound_->first.c_str();
        const char* asked = name;
        while (*known && *known == *asked) {
            ++known;
            ++asked;
        }
        if (*known == *asked) return &lastFound_->second;
    }
    // Measured once, not at every comparison of the search.
    return FindProperty(std::string_view(name));
}

const MetaValue* MetaBase::FindProperty(std::string_view name) const {
    if (lastFound_ && std::string_view(lastFound_->first) == name) return &lastFound_->second;
    auto it = properties_.find(name);
    if (it == properties_.end()) return nullptr;
    lastFound_ = &*it;
    return &it->second;
}

MetaValue MetaBase::GetProperty(const char* name) const {
    const MetaValue* found = FindProperty(name);
    return found ? *found : MetaValue::None();
}

bool MetaBase::AddDynamicProperty(const char* name, const MetaValue& value, Ownership ownership,
                                  int luaRef) {
    DynamicProperty property{value, ownership, luaRef};
    if (!name || properties_.find(name) != properties_.end() ||
        dynamic_.find(name) != dynamic_.end()) {
        Release(property);
        return false;
    }
    dynamic_.emplace(name, property);
    properties_.emplace(name, value);
    return true;
}

bool MetaBase::ReplaceDynamicProperty(const char* name, const MetaValue& value,
                                      Ownership ownership) {
    DynamicProperty property{value, ownership, -1};
    auto found = name ? dynamic_.find(name) : dynamic_.end();
    if (found == dynamic_.end()) {
        Release(property);
        return false;
    }
    Release(found->second);
    found->second = property;
    auto field = properties_.find(name);
    if (field != properties_.end()) field->second = value;
    return true;
}

bool MetaBase::InsertMethod(const char* name, MetaMethod method) {
    return methods_.emplace(name, method).second;
}

}  // namespace System
