#include "System/Source/ScriptRegistry.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "System/Source/LuaGuard.h"
#include "System/Source/LuaState.h"
#include "System/Source/ResourcePath.h"

namespace {

// The entry list is shared with the watcher thread: the main thread appends
// entries and writes their last times and chunks, the watcher writes their
// seen times and the changed flag. Every access to the list holds `mutex`;
// nothing slow (file queries, compiles) runs while it is held. The watcher
// works on std copies and never allocates from the engine's pool.
struct Registry : System::PoolObject {
    std::mutex mutex;
    System::Vector<ScriptEntry> entries;
    std::atomic<bool> changed{false};

    std::mutex stopMutex;
    std::condition_variable stopSignal;
    std::atomic<bool> stop{false};
    std::thread watcher;
};

Registry* g_registry = nullptr;

Registry* EnsureRegistry() {
    if (!g_registry) g_registry = new Registry;
    return g_registry;
}

// The file's modification time in nanoseconds; nothing when it cannot be
// queried (the entry then keeps the time it had).
std::optional<int64_t> FileTime(const std::string& path) {
    std::error_code ec;
    auto time = std::filesystem::last_write_time(System::ResolvePath(path), ec);
    if (ec) return std::nullopt;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

void WatchPass(Registry& registry) {
    std::vector<std::string> paths;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        paths.reserve(registry.entries.size());
        for (const ScriptEntry& entry : registry.entries) {
            paths.emplace_back(entry.path.data(), entry.path.size());
        }
    }
    std::vector<std::optional<int64_t>> times;
    times.reserve(paths.size());
    for (const std::string& path : paths) times.push_back(FileTime(path));

    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        for (size_t i = 0; i < times.size(); ++i) {
            ScriptEntry& entry = registry.entries[i];
            if (times[i]) entry.seenTime = *times[i];
            if (entry.seenTime != entry.lastTime) changed = true;
        }
    }
    registry.changed.store(changed);
}

void WatchScripts(Registry* registry) {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(registry->stopMutex);
            if (registry->stopSignal.wait_for(lock, std::chrono::milliseconds(1000),
                                              [registry] { return registry->stop.load(); })) {
                return;
            }
        }
        WatchPass(*registry);
    }
}

// Compiles the file into the Lua registry; -1 (with the message printed)
// when it does not compile.
int CompileScript(const char* path) {
    int reference = -1;
    ProtectLua(GetLuaState(), [path, &reference](lua_State* L) {
        const int status = LoadLuaFile(L, path);
        if (status == 0) {
            reference = luaL_ref(L, LUA_REGISTRYINDEX);
        } else {
            ReportLoadError(status, path, L);
        }
    });
    return reference;
}

bool ValidIndex(const Registry& registry, int index) {
    return index >= 0 && static_cast<size_t>(index) < registry.entries.size();
}

}  // namespace

void CreateScriptRegistry() {
    Registry* registry = EnsureRegistry();
    if (!registry || registry->watcher.joinable()) return;
    registry->stop.store(false);
    registry->watcher = std::thread(WatchScripts, registry);
}

void StopScriptWatcher() {
    Registry* registry = g_registry;
    if (!registry) return;
    if (registry->watcher.joinable()) {
        {
            std::lock_guard<std::mutex> lock(registry->stopMutex);
            registry->stop.store(true);
        }
        registry->stopSignal.notify_all();
        registry->watcher.join();
    }
    g_registry = nullptr;
    delete registry;
}

int LoadScript(const char* path) {
    if (!path) path = "";
    Registry* registry = EnsureRegistry();
    if (!registry) return -1;
    std::string_view key(path);
    int index;
    {
        std::lock_guard<std::mutex> lock(registry->mutex);
        for (size_t i = 0; i < registry->entries.size(); ++i) {
            if (std::string_view(registry->entries[i].path) == key) return static_cast<int>(i);
        }
        ScriptEntry entry;
        entry.path = System::MakeString(key);
        registry->entries.push_back(std::move(entry));
        index = static_cast<int>(registry->entries.size()) - 1;
    }
    int reference = CompileScript(path);
    std::lock_guard<std::mutex> lock(registry->mutex);
    registry->entries[static_cast<size_t>(index)].reference = reference;
    return index;
}

bool ReloadScript(int index) {
    std::string path;
    {
        Registry* registry = g_registry;
        if (!registry) return false;
        std::lock_guard<std::mutex> lock(registry->mutex);
        if (!ValidIndex(*registry, index)) return false;
        path = System::ToStd(registry->entries[static_cast<size_t>(index)].path);
    }
    int reference = CompileScript(path.c_str());
    if (reference == -1) return false;
    // Compiling may have run collector code, so look the registry up again.
    int release = reference;
    bool stored = false;
    if (Registry* registry = g_registry) {
        std::lock_guard<std::mutex> lock(registry->mutex);
        if (ValidIndex(*registry, index)) {
            ScriptEntry& entry = registry->entries[static_cast<size_t>(index)];
            release = entry.reference;
            entry.reference = reference;
            stored = true;
        }
    }
    if (release != -1) luaL_unref(GetLuaState(), LUA_REGISTRYINDEX, release);
    return stored;
}

void ReloadChangedScripts() {
    Registry* registry = g_registry;
    if (!registry || !registry->changed.load()) return;
    std::vector<std::pair<int, int64_t>> due;
    {
        std::lock_guard<std::mutex> lock(registry->mutex);
        for (size_t i = 0; i < registry->entries.size(); ++i) {
            const ScriptEntry& entry = registry->entries[i];
            if (entry.seenTime != entry.lastTime) due.emplace_back(int(i), entry.seenTime);
        }
    }
    for (const auto& [index, seen] : due) {
        ReloadScript(index);
        registry = g_registry;
        if (!registry) return;
        std::lock_guard<std::mutex> lock(registry->mutex);
        registry->entries[static_cast<size_t>(index)].lastTime = seen;
    }
}

bool ScriptsChanged() {
    return g_registry && g_registry->changed.load();
}

bool PushScriptChunk(lua_State* L, int index) {
    Registry* registry = g_registry;
    if (!registry) return false;
    int reference;
    {
        std::lock_guard<std::mutex> lock(registry->mutex);
        if (!ValidIndex(*registry, index)) return false;
        reference = registry->entries[static_cast<size_t>(index)].reference;
    }
    if (reference == -1) return false;
    lua_rawgeti(L, LUA_REGISTRYINDEX, reference);
    return true;
}

namespace {

void RunChunk(int index, System::MetaBase* self, bool withSelf) {
    RunLuaScript(GetLuaState(), [index, self, withSelf](lua_State* L) {
        if (!PushScriptChunk(L, index)) return -1;
        if (!withSelf) return 0;
        PushUserdata(L, self);
        return 1;
    });
}

}  // namespace

void RunScriptChunk(int index) {
    RunChunk(index, nullptr, false);
}

void RunScriptChunk(int index, System::MetaBase* self) {
    RunChunk(index, self, true);
}

bool GetScriptEntry(int index, ScriptEntry& out) {
    Registry* registry = g_registry;
    if (!registry) return false;
    std::lock_guard<std::mutex> lock(registry->mutex);
    if (!ValidIndex(*registry, index)) return false;
    out = registry->entries[static_cast<size_t>(index)];
    return true;
}

int ScriptCount() {
    Registry* registry = g_registry;
    if (!registry) return 0;
    std::lock_guard<std::mutex> lock(registry->mutex);
    return static_cast<int>(registry->entries.size());
}

void RunScriptWatcherPass() {
    if (g_registry) WatchPass(*g_registry);
}

int LuaDoScript(lua_State* L) {
    int top = lua_gettop(L);
    const char* path = LuaTextArgument(L, top);
    if (!path) return luaL_error(L, "DoScript expects the path of a script");
    int index = LoadScript(path);
    if (!PushScriptChunk(L, index)) lua_pushnil(L);
    return 1;
}
