#include <gtest/gtest.h>

#include <lua.hpp>
#include <string>
#include <vector>

#include "System/Source/Console.h"
#include "support/SavedConsole.h"
#include "support/TestSupport.h"

using TestSupport::CaptureStdout;

namespace {

// What the test commands saw last.
struct Call {
    std::string command;
    std::vector<std::string> args;
};
std::vector<Call> g_calls;

void Record(ConsoleArgs& args) {
    Call call{System::ToStd(args.Command()), {}};
    for (std::size_t i = 0; i < args.Count(); ++i) call.args.push_back(args.GetArg(i));
    g_calls.push_back(call);
}

ConsoleCandidates LevelCandidates() {
    return {{"QUIT_GAME", "RESTART_LEVEL"}, {"a.tmx"}};
}

struct Change {
    std::string name, previous, current;
};
std::vector<Change> g_changes;

void RecordChange(ConsoleVariable& variable, System::String previous, System::String current) {
    g_changes.push_back({variable.GetName(), System::ToStd(previous), System::ToStd(current)});
}

ConsoleCommand g_clear;
ConsoleCommand g_level;
ConsoleCommand g_silent;
ConsoleVariable g_watched;

// Registered for each test, after every static registration, so these
// entries stand in front of any entry of the same name; the fixture takes
// them away again.
void RegisterTestEntries() {
    RegisterBloomVariables();
    g_clear.Register("Clear", nullptr, Record);
    g_level.Register("level", "", Record, LevelCandidates);
    g_silent.Register("silent", "does nothing", nullptr);
    g_watched.Register("watched", nullptr, RecordChange);
    g_watched.SetInt(0);
    g_watched.SetFloat(0.0f);
    g_watched.SetString("");
}

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestEntries();
        g_calls.clear();
        g_changes.clear();
    }
    void TearDown() override { savedConsole.Restore(); }

    TestSupport::SavedConsole savedConsole;

    // Runs a line and returns the one call it made (fails when none).
    static Call RunOne(const std::string& line) {
        std::string out = CaptureStdout([&] { ExecuteCommandLine(line); });
        EXPECT_EQ(out, "") << line;
        EXPECT_EQ(g_calls.size(), 1u) << line;
        Call call = g_calls.empty() ? Call{} : g_calls.back();
        g_calls.clear();
        return call;
    }

    static ConsoleVariable& Bloom1() {
        auto* v = dynamic_cast<ConsoleVariable*>(FindConsoleEntry("bloom1"));
        EXPECT_NE(v, nullptr);
        return *v;
    }
};

using Args = std::vector<std::string>;

TEST_F(ConsoleTest, LineSplitsAtBlanksOnly) {
    Call clear = RunOne("Clear");
    EXPECT_EQ(clear.command, "Clear");
    EXPECT_EQ(clear.args, Args{"Clear"});

    EXPECT_EQ(RunOne("level").args, Args{"level"});
    EXPECT_EQ(RunOne("level  town").args, (Args{"", "town"}));
    EXPECT_EQ(RunOne("level town ").args, (Args{"town", ""}));
    EXPECT_EQ(RunOne("level a b c").args, (Args{"a", "b", "c"}));
    EXPECT_EQ(RunOne("level ").args, Args{""});
    // Tabs and quotes are ordinary characters.
    EXPECT_EQ(RunOne("level \"a b\"\tc").args, (Args{"\"a", "b\"\tc"}));
}

TEST_F(ConsoleTest, UnknownWordQuotesTheWholeLine) {
    auto run = [](const std::string& line) {
        return CaptureStdout([&] { ExecuteCommandLine(line); });
    };
    EXPECT_EQ(run("clear"), "Command \"clear\" cannot be found\n");
    EXPECT_EQ(run("nosuch a  b "), "Command \"nosuch a  b \" cannot be found\n");
    EXPECT_EQ(run(""), "Command \"\" cannot be found\n");
    EXPECT_EQ(run("level\ttown"), "Command \"level\ttown\" cannot be found\n");
    // The line is data, never a format.
    EXPECT_EQ(run("%s%n%d x"), "Command \"%s%n%d x\" cannot be found\n");
    // A command registered without a handler does nothing.
    EXPECT_EQ(run("silent a b"), "");
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(ConsoleTest, VariableStoresByValueType) {
    ConsoleVariable& bloom = Bloom1();
    ExecuteCommandLine("bloom1 2.5");
    EXPECT_EQ(bloom.GetFloat(), 2.5f);
    ExecuteCommandLine("bloom1 7");
    EXPECT_EQ(bloom.GetInt(), 7);
    EXPECT_EQ(bloom.GetFloat(), 2.5f);  // the fields are independent
    ExecuteCommandLine("bloom1 true");
    EXPECT_EQ(bloom.GetInt(), 1);
    ExecuteCommandLine("bloom1 false");
    EXPECT_EQ(bloom.GetInt(), 0);
    ExecuteCommandLine("bloom1 -12");
    EXPECT_EQ(bloom.GetInt(), -12);
    ExecuteCommandLine("bloom1 word");
    EXPECT_EQ(bloom.GetString(), "word");
    EXPECT_EQ(bloom.GetInt(), -12);
    ExecuteCommandLine("bloom1");
    EXPECT_EQ(bloom.GetString(), "bloom1");
    // Hex and colour texts are kept as text, with every blank after the first.
    ExecuteCommandLine("bloom1 0x1F");
    EXPECT_EQ(bloom.GetString(), "0x1F");
    ExecuteCommandLine("bloom1 1 2 3 4");
    EXPECT_EQ(bloom.GetString(), "1 2 3 4");
    ExecuteCommandLine("bloom1 a  b ");
    EXPECT_EQ(bloom.GetString(), "a  b ");
    // An empty value reads as the int 0.
    ExecuteCommandLine("bloom1 5");
    ExecuteCommandLine("bloom1 ");
    EXPECT_EQ(bloom.GetInt(), 0);
    // A real number beyond float range saturates instead of overflowing.
    std::string huge = "bloom1 1" + std::string(60, '0') + ".0";
    ExecuteCommandLine(huge);
    EXPECT_EQ(bloom.GetFloat(), 3.4028234663852886e38f);
}

TEST_F(ConsoleTest, ChangeListenerGetsPreviousAndNewText) {
    ConsoleVariable& v = g_watched;
    v.SetInt(5);
    ExecuteCommandLine("watched 9");
    ExecuteCommandLine("watched 2.5");
    ExecuteCommandLine("watched true");
    ExecuteCommandLine("watched hello");
    ExecuteCommandLine("watched bye");
    ASSERT_EQ(g_changes.size(), 6u);
    auto expect = [](const Change& c, const char* previous, const char* current) {
        EXPECT_EQ(c.name, "watched");
        EXPECT_EQ(c.previous, previous);
        EXPECT_EQ(c.current, current);
    };
    expect(g_changes[0], "0", "5");
    expect(g_changes[1], "5", "9");
    expect(g_changes[2], "0.000000", "2.500000");
    expect(g_changes[3], "9", "1");
    expect(g_changes[4], "", "hello");
    expect(g_changes[5], "hello", "bye");
}

TEST_F(ConsoleTest, RegistryWalksFromTheLastRegistration) {
    static ConsoleCommand first, second;
    static ConsoleVariable third;
    first.Register("walkFirst", nullptr, Record);
    second.Register("walkSecond", "help", Record);
    third.Register("walkThird", nullptr);
    ConsoleCommandBase* head = ConsoleCommandBase::Head();
    ASSERT_EQ(head, &third);
    EXPECT_EQ(head->GetNext(), &second);
    EXPECT_EQ(head->GetNext()->GetNext(), &first);
    EXPECT_FALSE(third.IsCommand());
    EXPECT_TRUE(second.IsCommand());
    EXPECT_STREQ(first.GetHelp(), "");
    EXPECT_STREQ(second.GetHelp(), "help");
    // The first match from the head wins; names match exactly.
    static ConsoleCommand shadow;
    shadow.Register("walkFirst", "", nullptr);
    EXPECT_EQ(FindConsoleEntry("walkFirst"), &shadow);
    EXPECT_EQ(FindConsoleEntry("walkfirst"), nullptr);
    EXPECT_EQ(FindConsoleEntry("walkFirst "), nullptr);

    // Registering again keeps the list as it was (no cycle, no move).
    first.Register("walkFirst", "again", Record);
    EXPECT_EQ(ConsoleCommandBase::Head(), &shadow);
    EXPECT_STREQ(first.GetHelp(), "again");
    int count = 0;
    for (ConsoleCommandBase* e = ConsoleCommandBase::Head(); e && count < 1000; e = e->GetNext())
        ++count;
    EXPECT_LT(count, 1000);

    // The bloom variables: registered in order, so bloom6 is met first.
    const char* order[] = {"bloom6", "bloom5", "bloom4", "bloom3", "bloom2", "bloom1"};
    ConsoleCommandBase* e = FindConsoleEntry("bloom6");
    for (const char* name : order) {
        ASSERT_NE(e, nullptr);
        EXPECT_STREQ(e->GetName(), name);
        EXPECT_STREQ(e->GetHelp(), "Sets the current bloom");
        EXPECT_FALSE(e->IsCommand());
        e = e->GetNext();
    }
}

TEST_F(ConsoleTest, CompletionsOnlyForCommandsThatOfferThem) {
    ConsoleCandidates level = GetCompletions(&g_level);
    ASSERT_EQ(level.size(), 2u);
    EXPECT_EQ(level[0], (Args{"QUIT_GAME", "RESTART_LEVEL"}));
    EXPECT_EQ(level[1], Args{"a.tmx"});
    EXPECT_TRUE(GetCompletions(&g_clear).empty());
    EXPECT_TRUE(GetCompletions(&g_watched).empty());
    EXPECT_TRUE(GetCompletions(nullptr).empty());
}

class ConsoleLuaTest : public ConsoleTest {
protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        L = luaL_newstate();
        luaL_openlibs(L);
        lua_register(L, "ExecuteConsoleCommand", LuaExecuteConsoleCommand);
        lua_register(L, "Print", LuaPrint);
    }
    void TearDown() override {
        lua_close(L);
        ConsoleTest::TearDown();
    }

    // Runs a chunk; returns what it printed. The chunk must not fail.
    std::string Run(const char* chunk) {
        return CaptureStdout([&] {
            ASSERT_EQ(luaL_dostring(L, chunk), 0) << lua_tostring(L, -1);
            EXPECT_EQ(lua_gettop(L), 0);
        });
    }

    lua_State* L = nullptr;
};

TEST_F(ConsoleLuaTest, ExecuteConsoleCommandRunsTheLine) {
    EXPECT_EQ(Run("local r = ExecuteConsoleCommand('level  town')\n"
                  "assert(r == nil and select('#', ExecuteConsoleCommand('level x')) == 0)"),
              "");
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].args, (Args{"", "town"}));
    EXPECT_EQ(g_calls[1].args, Args{"x"});
    EXPECT_EQ(Run("ExecuteConsoleCommand('nosuch 1')"), "Command \"nosuch 1\" cannot be found\n");
    // A number is the line Lua writes for it; anything else is ignored.
    EXPECT_EQ(Run("ExecuteConsoleCommand(5) ExecuteConsoleCommand() ExecuteConsoleCommand({})"),
              "Command \"5\" cannot be found\n");
    EXPECT_EQ(g_calls.size(), 2u);
}

TEST_F(ConsoleLuaTest, PrintWritesTextLiterally) {
    EXPECT_EQ(Run("Print('%s%n 100%')"), "%s%n 100%");
    EXPECT_EQ(Run("Print('line\\n') Print('two', 'ignored')"), "line\ntwo");
    EXPECT_EQ(Run("Print() Print(nil) Print(true) Print({}) Print(print)"), "");
    // Numbers print as Lua writes them.
    EXPECT_EQ(Run("Print(3) Print(' ') Print(-0.25) Print(' ') Print(2^53)"),
              "3 -0.25 9.007199254741e+15");
    // Called with extra values on the stack, both leave it as it was.
    lua_pushstring(L, "level a");
    lua_pushnumber(L, 3);
    EXPECT_EQ(CaptureStdout([&] { EXPECT_EQ(LuaPrint(L), 0); }), "level a");
    EXPECT_EQ(LuaExecuteConsoleCommand(L), 0);
    EXPECT_EQ(lua_gettop(L), 2);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].args, Args{"a"});
}

}  // namespace
