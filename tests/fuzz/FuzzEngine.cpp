#include "FuzzEngine.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <SOIL/SOIL.h>

#include "Game/Registration.h"
#include "Game/StateManager.h"
#include "Graphics/Camera.h"
#include "Graphics/Window.h"
#include "System/Source/Components/ObjectTables.h"
#include "System/Source/Console.h"
#include "System/Source/EngineClock.h"
#include "System/Source/GlobalScripts.h"
#include "System/Source/LuaState.h"
#include "System/Source/MessageQueue.h"
#include "System/Source/ScriptRegistry.h"
#include "World/PhysicsWorld.h"

namespace Fuzz {

namespace {

namespace fs = std::filesystem;

// Scripts that maps may name: they give objects bodies, particles, run-time
// properties and messages, and one of them destroys its object, so a few
// frames exercise scripts, physics and the message queue. "small.tmx" is a
// map for console lines to load.
struct GameFile {
    const char* path;
    const char* text;
};
const GameFile kGameFiles[] = {
    {"Resources/Lua/Globals/LuaGlobals.lua", "PLAYER_LIST = {}\n"},
    {"Resources/Lua/Globals/StartOfLevel.lua", "starts = (starts or 0) + 1\n"},
    {"Resources/Lua/Globals/EndOfLevel.lua", "ends = (ends or 0) + 1\n"},
    {"Resources/Lua/Fuzz/Init.lua",
     "local self = ...\n"
     "self.hits = 0\n"
     "local body = self:GetComponent('PhysicsBody')\n"
     "if body then body:SetMass(1); body:SetGravityDefault(); body:SetVelX(40) end\n"
     "self:AddComponent('ParticleComponent')\n"
     "local p = self:GetComponent('ParticleComponent')\n"
     "if p then p:SetTotalParticles(8); p:SetSpawnRate(200); p:SetParticleTime(0.05) end\n"},
    {"Resources/Lua/Fuzz/Update.lua",
     "local self = ...\n"
     "SendObjectMessage(self:GetId(), 'LuaComponent', 6, 'ping', 2)\n"
     "local others = GetAllGameObjects()\n"
     "if others then for _, o in pairs(others) do o.seen = 1 end end\n"},
    {"Resources/Lua/Fuzz/Message.lua",
     "local self, count = ...\n"
     "self.hits = (self.hits or 0) + count\n"
     "if self.hits > 6 then self:Destroy() end\n"},
    {"Resources/Lua/Fuzz/LevelInit.lua",
     "local level = ...\n"
     "local o = LuaObject:new()\n"
     "o:GetComponent('PhysicsBody'):CreateBox(20, 20)\n"
     "o:GetComponent('LuaComponent'):SetMessageScript('Fuzz/Message.lua')\n"},
    {"Resources/Lua/Fuzz/LevelUpdate.lua", "local level = ...\nticks = (ticks or 0) + 1\n"},
    {"Resources/Levels/small.tmx",
     "<map><objectgroup><object x=\"0\" y=\"0\" width=\"8\" height=\"8\"><properties>"
     "<property name=\"INIT\" value=\"Fuzz/Init.lua\"/>"
     "<property name=\"MESSAGE\" value=\"Fuzz/Message.lua\"/>"
     "<property name=\"UPDATE\" value=\"Fuzz/Update.lua\"/>"
     "</properties></object></objectgroup></map>\n"},
};

double g_now = 0.0;

// Every read of the clock moves it on, so each frame measures a time step.
double StepClock() {
    g_now += 1.0 / 120.0;
    return g_now;
}

Camera* g_camera = nullptr;

// A map or a console line may name any file as a script, the fuzzed file
// itself included: scripts get no way out of the process and a budget of
// instructions, so that a fuzzed "script" cannot loop forever or touch the
// machine.
void ScriptBudget(lua_State* L, lua_Debug*) {
    luaL_error(L, "instruction budget spent");
}

void FenceLua() {
    lua_State* L = GetLuaState();
    for (const char* name : {"os", "io", "debug", "package", "require", "dofile", "loadfile"}) {
        lua_pushnil(L);
        lua_setglobal(L, name);
    }
    // Takes the place of the engine's interrupt hook, which only a quit
    // signal would use: the fuzzers install no signal handlers.
    lua_sethook(L, ScriptBudget, LUA_MASKCOUNT, 5000000);
}

// A hidden window's GL context, when there is a display: the tile layer
// fills its GL buffers (and the tileset its texture) only with one, so
// without it the level target never reaches the tile fill.
void OpenGlContext() {
    if (!glfwInit()) {
        std::fprintf(stderr, "tazzle fuzz: no display, tile layers are not filled\n");
        return;
    }
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(64, 64, "tazzle fuzz", nullptr, nullptr);
    if (!window) {
        std::fprintf(stderr, "tazzle fuzz: no GL window, tile layers are not filled\n");
        return;
    }
    glfwMakeContextCurrent(window);
    glewExperimental = GL_TRUE;
    glewInit();
    SetForeignGlContext(true);
}

// The tileset image that maps name: 64 x 64, four 32-pixel tiles.
void WriteTileset(const char* path) {
    std::vector<unsigned char> pixels(64 * 64 * 3);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 7);
    SOIL_save_image(path, SOIL_SAVE_TYPE_BMP, 64, 64, 3, pixels.data());
}

}  // namespace

void StartEngine() {
    static bool started = false;
    if (started) return;
    started = true;

    char pattern[] = "/tmp/tazzle-fuzz-XXXXXX";
    if (!mkdtemp(pattern) || chdir(pattern) != 0) {
        std::perror("tazzle fuzz: no game folder");
        std::abort();
    }
    for (const GameFile& file : kGameFiles) {
        fs::create_directories(fs::path(file.path).parent_path());
        std::ofstream(file.path) << file.text;
    }
    WriteTileset("Resources/Levels/tiles.png");
    OpenGlContext();

    RunStaticRegistration();
    InitComponentTable(new ComponentVector());
    InitObjectTable(new ObjectVector());
    CreateMessageQueue();
    CreateScriptRegistry();
    SetEngineClock(StepClock);
    g_camera = new Camera(0.0f, 0.0f);
    CurrentCamera = g_camera;
    InitLua();
    FenceLua();
    StartStateManager();
    PhysicsWorld::Create();
    // No map at first: an empty level of the base type.
    RequestStateChange("Level", "");
    StateDispatch();
}

void StartEngineKeepingPaths(int* argc, char*** argv) {
    // The new texts live as long as the fuzzer.
    static std::vector<std::string> kept;
    kept.reserve(std::size_t(*argc));
    for (int i = 1; i < *argc; ++i) {
        std::string argument = (*argv)[i];
        std::string prefix;
        for (const char* flag : {"-artifact_prefix=", "-dict=", "-exact_artifact_path="}) {
            if (argument.rfind(flag, 0) == 0) prefix = flag;
        }
        if (prefix.empty() && !argument.empty() && argument[0] == '-') continue;
        std::string path = argument.substr(prefix.size());
        if (path.empty() || path[0] == '/') continue;
        // A prefix ending in "/" names a folder and must keep its slash.
        std::string absolute = fs::absolute(path).string();
        if (path.back() == '/' && absolute.back() != '/') absolute += '/';
        kept.push_back(prefix + absolute);
        (*argv)[i] = kept.back().data();
    }
    StartEngine();
}

void WriteGameFile(const std::string& path, const uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

void Frame() {
    MainLoopPass();
}

void ConsoleLine(const std::string& line) {
    ExecuteCommandLine(line.c_str());
    Frame();
}

}  // namespace Fuzz
