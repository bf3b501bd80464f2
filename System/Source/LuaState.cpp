#include "System/Source/LuaState.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <unordered_set>

#include "System/Source/Components/LuaBinding.h"
#include "System/Source/ConsoleArgs.h"
#include "System/Source/LuaGuard.h"
#include "System/Source/ResourcePath.h"

const char* const kLuaGlobalsScript = "Resources/Lua/Globals/LuaGlobals.lua";
const char* const kTeleportScript = "Resources/Lua/Globals/Teleport.lua";
const char* const kStartOfLevelScript = "Resources/Lua/Globals/StartOfLevel.lua";
const char* const kEndOfLevelScript = "Resources/Lua/Globals/EndOfLevel.lua";

namespace {

lua_State* g_state = nullptr;

// Whether registry reference `ref` still holds `thread`. Scripts can clear
// or refill any reference through debug.getregistry(), so the pointer is
// compared, never followed. Leaves the slot's value on the stack.
bool AnchorHolds(lua_State* L, int ref, const void* thread) {
    lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
    return ref > 0 && thread && lua_type(L, -1) == LUA_TTHREAD && lua_tothread(L, -1) == thread;
}

// Run-time properties that hold a thread keep it alive through a registry
// reference, released here when their object dies while the state lives;
// a reference that a script has given to something else is left alone.
void ReleaseLuaReference(int ref, const void* thread) {
    lua_State* L = g_state;
    if (!L) return;
    const bool ours = AnchorHolds(L, ref, thread);
    lua_pop(L, 1);
    if (ours) luaL_unref(L, LUA_REGISTRYINDEX, ref);
}

// The error value on top as text. A number is written into `number`, not
// converted in place by Lua: that conversion allocates, and the collection
// step that may follow would run finalizers wherever an error is printed,
// the panic function included.
using NumberText = char[32];
const char* ErrorText(lua_State* L, NumberText& number) {
    if (lua_gettop(L) == 0) return "(no error message)";
    switch (lua_type(L, -1)) {
        case LUA_TSTRING:
            return lua_tostring(L, -1);
        case LUA_TNUMBER:
            std::snprintf(number, sizeof(number), LUA_NUMBER_FMT, lua_tonumber(L, -1));
            return number;
        default:
            return "(error object is not a string)";
    }
}

MetaValue VoidPointer(void* p, MetaValue::Holds holds = MetaValue::Holds::Plain) {
    return MetaValue::Pointer(p, System::TypeName<void*>::name, System::TypeName<void>::name,
                              holds);
}

// The pointer forms both push operations share.
void PushPointer(lua_State* L, const MetaValue& v) {
    void* p = v.payload.p;
    if (v.IsType<const char*>() || v.IsType<char*>()) {
        lua_pushstring(L, static_cast<const char*>(p));
    } else if (v.IsType<lua_State*>()) {
        lua_State* thread = static_cast<lua_State*>(p);
        if (thread && lua_checkstack(thread, 1)) {
            lua_pushthread(thread);
            lua_xmove(thread, L, 1);
        } else {
            lua_pushnil(L);
        }
    } else if (v.IsType<Userdata*>()) {
        const Userdata* record = static_cast<const Userdata*>(p);
        System::MetaBase* object = record ? record->object : nullptr;
        if (object) {
            System::PushStoredObject(L, *record);
            lua_getfield(L, LUA_REGISTRYINDEX, record->className.c_str());
        } else {
            System::PushObjectBlock(L, nullptr);
            lua_newtable(L);
        }
        if (lua_istable(L, -1)) {
            lua_setmetatable(L, -2);
        } else {
            lua_pop(L, 1);
        }
    } else if (v.holds == MetaValue::Holds::Object) {
        PushUserdata(L, static_cast<System::MetaBase*>(p));
    } else {
        // An opaque pointer is handed to Lua as it is and never dereferenced.
        lua_pushlightuserdata(L, p);
    }
}

// Prints the stack dump. Tables are printed once per dump; a table met
// again prints a short marker, so cyclic tables (_G) terminate.
class StackPrinter {
public:
    explicit StackPrinter(lua_State* L) : L_(L) {}

    void Value(int index) {
        switch (lua_type(L_, index)) {
            case LUA_TBOOLEAN:
                std::printf("%i", lua_toboolean(L_, index) ? 1 : 0);
                break;
            case LUA_TNUMBER:
                std::printf("%f", static_cast<double>(SafeDoubleToFloat(lua_tonumber(L_, index))));
                break;
            case LUA_TSTRING:
                std::printf("%s", lua_tostring(L_, index));
                break;
            case LUA_TTABLE:
                Table(index);
                break;
            case LUA_TFUNCTION:
                std::printf("Function");
                break;
            default:
                std::printf("dumpStack Err, type encountered: %s",
                            lua_typename(L_, lua_type(L_, index)));
                break;
        }
    }

private:
    void Indent() const {
        for (int i = 0; i < depth_; ++i) std::putchar(' ');
    }

    void Table(int index) {
        if (index < 0) index = lua_gettop(L_) + index + 1;
        // Only the tables being printed around this one are a cycle; the same
        // table met again elsewhere (stackdump(t, t), two keys sharing a
        // value) prints in full again.
        const void* table = lua_topointer(L_, index);
        if (!open_.insert(table).second) {
            std::printf("Table: (already printed)");
            return;
        }
        if (!lua_checkstack(L_, 3)) {
            open_.erase(table);
            std::printf("Table: (nested too deeply)");
            return;
        }
        std::printf("Table: \n");
        Indent();
        std::printf("{\n");
        depth_ += 2;
        lua_pushnil(L_);
        while (lua_next(L_, index) != 0) {
            int top = lua_gettop(L_);
            Indent();
            std::printf("Key: ");
            Value(top - 1);
            std::printf("\n");
            Indent();
            std::printf("Value: ");
            Value(top);
            std::printf("\n");
            lua_pop(L_, 1);
        }
        depth_ -= 2;
        Indent();
        std::printf("}");
        open_.erase(table);
    }

    lua_State* L_;
    int depth_ = 0;
    std::unordered_set<const void*> open_;
};

}  // namespace

namespace {

// debug.setupvalue, refusing C functions: the engine's functions keep what
// they call in their upvalues, and a script replacing one would send the
// engine through whatever it was given. Lua functions are changed as before.
int SetUpvalueOfLuaFunction(lua_State* L) {
    if (lua_iscfunction(L, 1))
        return luaL_error(L, "the upvalues of a C function cannot be changed");
    const int arguments = lua_gettop(L);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, arguments, LUA_MULTRET);
    return lua_gettop(L);
}

}  // namespace

lua_State* GetLuaState() {
    if (!g_state) {
        g_state = luaL_newstate();
        if (!g_state) return nullptr;
        luaL_openlibs(g_state);
        ReplaceLibraryFunction(g_state, "debug", "setupvalue", SetUpvalueOfLuaFunction);
        lua_atpanic(g_state, PrintLuaError);
        PrepareLuaGuard(g_state);
        System::MetaBase::releaseLuaRef = ReleaseLuaReference;
    }
    return g_state;
}

void ReplaceLibraryFunction(lua_State* L, const char* library, const char* name,
                            lua_CFunction function) {
    lua_getglobal(L, library);
    if (lua_istable(L, -1)) {
        lua_getfield(L, -1, name);
        lua_pushcclosure(L, function, 1);
        lua_setfield(L, -2, name);
    }
    lua_pop(L, 1);
}

lua_State* PeekLuaState() {
    return g_state;
}

namespace {

int GuardedClosure(lua_State* L) {
    auto function = reinterpret_cast<lua_CFunction>(lua_touserdata(L, lua_upvalueindex(1)));
    return CallGuarded(L, function);
}

}  // namespace

void PushGuarded(lua_State* L, lua_CFunction function, int upvalues) {
    lua_pushlightuserdata(L, reinterpret_cast<void*>(function));
    lua_insert(L, -(upvalues + 1));
    lua_pushcclosure(L, GuardedClosure, upvalues + 1);
}

LuaRegistration RegisterLuaFunction(lua_CFunction function, const char* name) {
    lua_State* L = GetLuaState();
    PushGuarded(L, function);
    lua_setfield(L, LUA_GLOBALSINDEX, name);
    return LuaRegistration{};
}

bool g_luaClosing = false;

void CollectLuaGarbage() {
    lua_State* L = g_state;
    if (!L) return;
    // A finalizer that raises ends the try; the next one takes up the rest.
    ProtectLua(L, [](lua_State* S) { lua_gc(S, LUA_GCCOLLECT, 0); });
}

void CloseLua() {
    if (!g_state) return;
    g_luaClosing = true;
    CollectLuaGarbage();
    // Objects that Lua frees while closing must not release references into
    // a state that is going away.
    System::MetaBase::releaseLuaRef = nullptr;
    lua_State* L = g_state;
    g_state = nullptr;
    ForgetLuaGuard();
    lua_close(L);
    g_luaClosing = false;
}

const char* LuaTextArgument(lua_State* L, int index, size_t* length) {
    if (index < 1 || index > lua_gettop(L) || !lua_isstring(L, index)) return nullptr;
    return lua_tolstring(L, index, length);
}

void ReadLuaArguments(lua_State* L, System::MetaArgs& out) {
    out.clear();
    int top = lua_gettop(L);
    out.reserve(static_cast<size_t>(top));
    for (int i = 1; i <= top; ++i) {
        int type = lua_type(L, i);
        switch (type) {
            case LUA_TBOOLEAN:
                out.push_back(MetaValue(lua_toboolean(L, i) != 0));
                break;
            case LUA_TNUMBER:
                out.push_back(MetaValue(static_cast<double>(lua_tonumber(L, i))));
                break;
            case LUA_TSTRING:
                out.push_back(MetaValue(lua_tostring(L, i)));
                break;
            case LUA_TUSERDATA:
                // An engine object as itself while it is the one the userdata
                // was made for; anything else as an opaque pointer.
                if (System::MetaBase* object = System::ToEngineObject(L, i)) {
                    out.push_back(VoidPointer(object, MetaValue::Holds::Object));
                } else {
                    out.push_back(VoidPointer(lua_touserdata(L, i)));
                }
                break;
            case LUA_TLIGHTUSERDATA:
                out.push_back(VoidPointer(lua_touserdata(L, i)));
                break;
            default:
                std::printf("dumpStack Err, type encountered: %s", lua_typename(L, type));
                break;
        }
    }
}

System::MetaArgs ReadLuaArgumentValues(lua_State* L) {
    System::MetaArgs args;
    ReadLuaArguments(L, args);
    return args;
}

System::MetaArgs* ReadLuaArguments(lua_State* L) {
    auto* args = new System::MetaArgs;
    ReadLuaArguments(L, *args);
    return args;
}

void PushLuaValue(lua_State* L, const MetaValue& value) {
    if (value.IsType<int>()) {
        lua_pushnumber(L, value.payload.i);
    } else if (value.IsType<float>()) {
        lua_pushnumber(L, value.payload.f);
    } else if (value.IsType<double>()) {
        lua_pushnumber(L, value.payload.d);
    } else if (value.IsType<bool>()) {
        lua_pushnumber(L, value.payload.i != 0 ? 1 : 0);
    } else {
        PushPointer(L, value);
    }
}

void PushLuaValues(lua_State* L, const MetaValue& reference) {
    const void* p = reference.payload.p;
    bool referred = reference.IsType<char*>() || reference.IsType<int*>() ||
                    reference.IsType<float*>() || reference.IsType<double*>() ||
                    reference.IsType<bool*>();
    if (referred && !p) {
        lua_pushnil(L);
    } else if (reference.IsType<char*>()) {
        lua_pushnumber(L, *static_cast<const signed char*>(p));
    } else if (reference.IsType<int*>()) {
        lua_pushnumber(L, *static_cast<const int*>(p));
    } else if (reference.IsType<float*>()) {
        lua_pushnumber(L, *static_cast<const float*>(p));
    } else if (reference.IsType<double*>()) {
        lua_pushnumber(L, *static_cast<const double*>(p));
    } else if (reference.IsType<double>()) {
        lua_pushnumber(L, reference.payload.d);
    } else if (reference.IsType<bool*>()) {
        lua_pushnumber(L, *static_cast<const unsigned char*>(p) != 0 ? 1 : 0);
    } else {
        PushPointer(L, reference);
    }
}

void PushAnchoredThread(lua_State* L, int ref, const void* thread) {
    if (!AnchorHolds(L, ref, thread)) {
        lua_pop(L, 1);
        lua_pushnil(L);
    }
}

void PushUserdata(lua_State* L, System::MetaBase* object) {
    if (!L) L = GetLuaState();
    System::PushObjectBlock(L, object);
    if (!object) {
        lua_newtable(L);
        lua_setmetatable(L, -2);
        return;
    }
    const char* name = object->GetTypeName();
    if (!name) return;
    lua_getfield(L, LUA_REGISTRYINDEX, name);
    if (lua_istable(L, -1)) {
        lua_setmetatable(L, -2);
    } else {
        lua_pop(L, 1);
    }
}

void PrintLuaErrorAs(lua_State* L, const char* prefix) {
    NumberText number;
    std::printf("%s: %s\n", prefix, ErrorText(L, number));
}

int PrintLuaError(lua_State* L) {
    PrintLuaErrorAs(L, "Lua Error");
    return -1;
}

int LoadLuaFile(lua_State* L, const std::string& path) {
    std::string resolved = System::ResolvePath(path);
    if (System::IsNonFile(resolved)) {
        lua_pushfstring(L, "cannot open %s (not a file)", path.c_str());
        return LUA_ERRFILE;
    }
    const int status = luaL_loadfile(L, resolved.c_str());
    // The compiler runs in a protected call of its own, where an error that
    // a finalizer raises in a collection step comes back as a failed compile
    // (LUA_ERRRUN). It is no fault of the file: raised again, it reaches the
    // engine's protected call, which prints it and compiles once more.
    if (status == LUA_ERRRUN) lua_error(L);
    return status;
}

void ReportLoadError(int status, const char* path, lua_State* L) {
    if (!L) L = GetLuaState();
    NumberText number;
    switch (status) {
        case LUA_ERRSYNTAX:
            std::printf("File %s had a syntax error: %s\n", path, ErrorText(L, number));
            break;
        case LUA_ERRMEM:
            std::printf("Error allocating memory for Lua: %s\n", ErrorText(L, number));
            break;
        case LUA_ERRFILE:
            std::printf("Lua was unable to open the file. %s\n", ErrorText(L, number));
            break;
        default:
            break;
    }
}

void DumpLuaStack(lua_State* L) {
    std::printf("--- LUA TOP ---\n");
    StackPrinter printer(L);
    for (int i = lua_gettop(L); i >= 1; --i) {
        printer.Value(i);
        std::printf("\n");
    }
    std::printf("--- END ---\n\n");
}

void RunLuaFile(const char* name) {
    const std::string path = std::string("Resources/Lua/") + (name ? name : "");
    RunLuaScript(
        GetLuaState(),
        [&path](lua_State* L) {
            const int status = LoadLuaFile(L, path);
            if (status == 0) return 0;
            ReportLoadError(status, path.c_str(), L);
            return -1;
        },
        "Lua Syntax Error");
}

bool HasPlayer(int n) {
    bool found = false;
    // A metamethod of the globals that raises would raise again: one try.
    ProtectLua(
        GetLuaState(),
        [n, &found](lua_State* L) {
            lua_getfield(L, LUA_GLOBALSINDEX, "PLAYER_LIST");
            if (lua_istable(L, -1)) {
                lua_rawgeti(L, -1, n);
                found = lua_isuserdata(L, -1) != 0;
            }
        },
        1);
    return found;
}

int LuaStackDump(lua_State* L) {
    System::MetaArgs args;
    ReadLuaArguments(L, args);
    DumpLuaStack(L);
    return 0;
}

namespace {
int g_scriptNesting = 0;
}  // namespace

ScriptNesting::ScriptNesting(const std::string& what)
    : refused_(g_scriptNesting >= kMaxScriptNesting) {
    if (refused_) {
        std::printf("Lua Error: %s: scripts nested too deeply (%d levels)\n", what.c_str(),
                    kMaxScriptNesting);
    } else {
        ++g_scriptNesting;
    }
}

ScriptNesting::~ScriptNesting() {
    if (!refused_) --g_scriptNesting;
}

void ConsoleLua(ConsoleArgs& args) {
    std::string name = args.Count() > 0 ? args.GetArg(0) : std::string();
    if (name.empty()) {
        std::printf("Usage: lua <script name>\n");
        return;
    }
    ScriptNesting nesting("lua " + name);
    if (nesting.Refused()) return;
    const std::string path = "Resources/Lua/" + name + ".lua";
    RunLuaScript(GetLuaState(), [&path](lua_State* L) {
        const int status = LoadLuaFile(L, path);
        NumberText number;
        switch (status) {
            case 0:
                return 0;
            case LUA_ERRSYNTAX:
                std::printf("File %s had a syntax error.\n", path.c_str());
                break;
            case LUA_ERRMEM:
                std::printf("Error allocating memory for Lua.\n");
                break;
            case LUA_ERRFILE:
                std::printf("Lua was unable to open the file.\n");
                break;
            default:
                return -1;
        }
        std::printf("Lua Error: %s\n", ErrorText(L, number));
        return -1;
    });
}
