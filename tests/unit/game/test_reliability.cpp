// The game holding up under what scripts, the console and data throw at it:
// a memory pool filled to the brim, folders where files belong, and a
// thousand level switches that must leave the pool as they found it.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>

#include "System/Source/Console.h"
#include "World/PhysicsWorld.h"
#include "engine_fixture.h"

namespace {

using TestSupport::CaptureStdout;

int ThrowsOutOfMemory(lua_State*) {
    throw std::bad_alloc();
}

class Reliability : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        PhysicsWorld::Create();
        dir.Write("Resources/Levels/00_Menu_Splash.tmx", "<map></map>\n");
    }
    void TearDown() override {
        DeleteAllObjectsAndComponents();
        PhysicsWorld::Destroy();
        EngineFixture::TearDown();
    }
    // A console line, then the frame that carries out what it asked for.
    void Console(const std::string& line) {
        ExecuteCommandLine(line);
        Frame(0.01);
    }
};

}  // namespace

TEST_F(Reliability, AFullPoolFallsBackToTheHeapAndALevelSwitchRecovers) {
    dir.Write("Resources/Lua/Test/Count.lua", "local self, count = ...\ndelivered = count\n");
    Start();
    // The script registry keeps what it compiled: register it before measuring.
    Lua("LuaObject:new():GetComponent('LuaComponent'):SetMessageScript('Test/Count.lua')");
    Console("level RESTART_LEVEL");
    System::MemoryPool* pool = System::GetEnginePool();
    const uint32_t aliveBefore = pool->alive;
    const uint32_t fillBefore = pool->fill;

    std::string printed = CaptureStdout([&] {
        Lua("hoard = LuaObject:new(); i = 0\n"
            "hoard:GetComponent('LuaComponent'):SetMessageScript('Test/Count.lua')");
        // Invented properties until the pool is full, then some more.
        while (pool->capacity - pool->fill > 4096) {
            Lua("for n = 1, 2000 do i = i + 1; hoard['p' .. i] = i end");
        }
        Lua("for n = 1, 2000 do i = i + 1; hoard['p' .. i] = i end");
        // A write and a message still work, and nothing aborts.
        Lua("written, err = pcall(function() hoard.extra = 7 end)\n"
            "SendObjectMessage(hoard:GetId(), 'LuaComponent', 6, 'hello')");
        Frame(0.01);  // delivers the message
        Frame(0.01);  // runs the message script
        Lua("assert(written, tostring(err)); assert(hoard.extra == 7 and hoard['p' .. i] == i)");
    });
    EXPECT_EQ(Global("delivered"), 1.0);
    // Said once, the first time.
    const std::string full = "Memory pool full: further allocations use the heap\n";
    EXPECT_NE(printed.find(full), std::string::npos) << printed;
    EXPECT_EQ(printed.find(full), printed.rfind(full)) << printed;

    // Restarting frees the pool; the heap blocks go back to the heap.
    Console("level RESTART_LEVEL");
    EXPECT_EQ(GetStateManager().previousState, "RESTART_LEVEL");
    EXPECT_EQ(pool->alive, aliveBefore);
    EXPECT_EQ(pool->fill, fillBefore);
}

TEST_F(Reliability, EngineExceptionsReachScriptsAsErrorMessages) {
    Start();
    RegisterLuaFunction(ThrowsOutOfMemory, "ThrowsOutOfMemory");
    Lua("local ok, err = pcall(ThrowsOutOfMemory)\n"
        "assert(not ok and err == 'not enough memory', tostring(err))");
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(Reliability, FoldersWhereFilesBelongAreRefusedWithOneLine) {
    dir.Write("Resources/Lua/Folder.lua/keep.txt", "");
    Start();
    const double starts = Global("startCount");
    for (const char* name : {".", "/", ""}) {
        std::string printed = CaptureStdout([&] {
            Console(std::string("level GenericTileLevel ") + name);
            Frame(0.01);
        });
        if (*name) {
            EXPECT_EQ(printed, std::string("Level file Resources/Levels/") + name +
                                   " could not be opened\n");
        }
        EXPECT_EQ(GetStateManager().currentState, "GenericTileLevel");
    }
    EXPECT_EQ(Global("startCount"), starts);

    // A script that is a folder: the console's runner and a component.
    std::string printed = CaptureStdout([&] {
        ExecuteCommandLine("lua Folder");
        Lua("LuaObject:new():GetComponent('LuaComponent'):SetUpdateScript('Folder.lua')");
        Frame(0.01);
    });
    EXPECT_NE(printed.find("Lua Error: cannot open Resources/Lua/Folder.lua (not a file)\n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("Lua was unable to open the file. cannot open Resources/Lua/Folder.lua "
                           "(not a file)\n"),
              std::string::npos)
        << printed;
}

// Every script that the console, a button or a level change starts says
// when it fails: one "Lua Error" line with its message.
TEST_F(Reliability, ScriptsStartedByTheConsoleAndTheLevelPrintTheirErrors) {
    dir.Write("Resources/Lua/Fails.lua", "error('lua command')\n");
    WriteScript("Teleport.lua", "error('teleport')\n");
    WriteScript("LuaGlobals.lua", "if started then error('globals') end started = true\n");
    WriteScript("StartOfLevel.lua", "if failing == 'start' then error('level start') end\n");
    WriteScript("EndOfLevel.lua", "if failing == 'end' then error('level end') end\n");
    Start();
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"lua command", [&] { ExecuteCommandLine("lua Fails"); }},
        {"lua command", [&] { Lua("local b = Menu:new():CreateButton(0, 0, 10, 10)\n"
                                  "b:SetCommand('lua Fails') b:ExcecuteAction()"); }},
        {"globals", [&] { ExecuteCommandLine("globalReload"); }},
        {"teleport", [&] { ExecuteCommandLine("teleport"); }},
        {"level start", [&] { Lua("failing = 'start'"); Console("level RESTART_LEVEL"); }},
        {"level end", [&] { Lua("failing = 'end'"); Console("level RESTART_LEVEL"); }},
    };
    for (const auto& [message, run] : cases) {
        std::string printed = CaptureStdout(run);
        const size_t error = printed.find("Lua Error: ");
        EXPECT_EQ(error, printed.rfind("Lua Error: ")) << printed;
        EXPECT_NE(printed.find(std::string(message) + "\n", error), std::string::npos) << printed;
    }
}

// A script that starts itself again through the console stops at the
// nesting limit with one line that says so; every level before it ran.
TEST_F(Reliability, ScriptsThatStartThemselvesStopAtTheNestingLimit) {
    dir.Write("Resources/Lua/Self.lua", "depth = depth + 1 ExecuteConsoleCommand('lua Self')\n");
    dir.Write("Resources/Lua/Press.lua", "depth = depth + 1 button:ExcecuteAction()\n");
    WriteScript("Teleport.lua", "depth = depth + 1 ExecuteConsoleCommand('teleport')\n");
    Start();
    Lua("button = Menu:new():CreateButton(0, 0, 10, 10) button:SetCommand('lua Press')");
    for (std::string line : {"lua Self", "lua Press", "teleport"}) {
        Lua("depth = 0");
        const std::string what = line == "teleport" ? "Resources/Lua/Globals/Teleport.lua" : line;
        EXPECT_EQ(CaptureStdout([&] { ExecuteCommandLine(line); }),
                  "Lua Error: " + what + ": scripts nested too deeply (50 levels)\n");
        EXPECT_EQ(Global("depth"), kMaxScriptNesting);
    }
}

TEST_F(Reliability, AThousandLevelSwitchesLeaveThePoolAsTheyFoundIt) {
    dir.Write("Resources/Levels/soak.tmx",
              "<map><properties><property name=\"Init\" value=\"Soak/Level.lua\"/></properties>\n"
              "<objectgroup>\n"
              "<object x=\"0\" y=\"0\" width=\"32\" height=\"32\"><properties>\n"
              "<property name=\"INIT\" value=\"Soak/Init.lua\"/>\n"
              "<property name=\"MASS\" value=\"1\"/><property name=\"Score\" value=\"3\"/>\n"
              "</properties></object>\n"
              "<object x=\"-200\" y=\"40\" width=\"400\" height=\"32\" type=\"WALL\"/>\n"
              "</objectgroup></map>\n");
    dir.Write("Resources/Lua/Soak/Init.lua",
              "local self = ...\nself.hp = 10\nself:AddComponent('ParticleComponent')\n"
              "local p = self:GetComponent('ParticleComponent')\n"
              "p:SetTotalParticles(12); p:SetSpawnRate(600); p:SetParticleTime(1)\n");
    dir.Write("Resources/Lua/Soak/Level.lua",
              "for n = 1, 4 do\n"
              "  local o = LuaObject:new()\n"
              "  local body = o:GetComponent('PhysicsBody')\n"
              "  body:CreateBox(10, 10); body:SetMass(1); body:SetGravityDefault()\n"
              "  o['tag' .. n] = n\n"
              "  if n == 4 then o:Destroy() end\n"
              "end\n");
    Start();
    System::MemoryPool* pool = System::GetEnginePool();
    uint32_t alive = 0;
    uint32_t fill = 0;
    int objects = 0;
    // Measured between levels, where nothing of a level is left: the first
    // round fills what lives for the whole run (the scripts compiled, the
    // tables' room), every later one must give back all it took.
    CaptureStdout([&] {
        for (int i = 0; i < 500; ++i) {
            Console("level GenericTileLevel soak.tmx");
            Frame(0.01);
            Frame(0.01);
            if (i == 499) objects = GetObjectCount();
            Console("level Level");
            if (i == 0) {
                alive = pool->alive;
                fill = pool->fill;
            }
        }
    });
    EXPECT_EQ(Global("startCount"), 501.0);
    EXPECT_EQ(objects, 6);
    EXPECT_EQ(pool->alive, alive);
    EXPECT_EQ(pool->fill, fill);
}
