#include "System/Source/Console.h"

#include <cstdlib>
#include <cstring>
#include <lua.hpp>

#include "System/Source/Components/Meta.h"
#include "System/Source/ConsolePrint.h"
#include "System/Source/DataNode.h"
#include "System/Source/LuaState.h"

namespace {

// Value texts are typed by the data-tree classifier, so console variables
// read values exactly as data files do.
constexpr int kValueInt = kDataInt;
constexpr int kValueFloat = kDataFloat;
constexpr int kValueBool = kDataBool;

// Null until the first registration; constant-initialised, so registrations
// from any static initialiser see it.
ConsoleCommandBase* g_head = nullptr;

bool IsLinked(const ConsoleCommandBase* entry) {
    for (const ConsoleCommandBase* e = ConsoleCommandBase::Head(); e; e = e->GetNext()) {
        if (e == entry) return true;
    }
    return false;
}

}  // namespace

ConsoleCommandBase* ConsoleCommandBase::Head() {
    return g_head;
}

void ConsoleCommandBase::RestoreHead(ConsoleCommandBase* head) {
    // Registration only ever adds at the head, and an entry that is already
    // linked keeps its place: the entries in front of `head` are exactly the
    // newer ones.
    g_head = head;
}

void ConsoleCommandBase::Register(const char* name, const char* help, bool isCommand) {
    name_ = name;
    help_ = help ? help : "";
    isCommand_ = isCommand;
    if (IsLinked(this)) return;
    next_ = g_head;
    g_head = this;
}

void ConsoleCommand::Register(const char* name, const char* help, ConsoleExecute execute,
                              ConsoleCompletion completion) {
    execute_ = execute;
    completion_ = completion;
    ConsoleCommandBase::Register(name, help, true);
}

void ConsoleVariable::Register(const char* name, const char* help, ConsoleChange onChange) {
    onChange_ = onChange;
    ConsoleCommandBase::Register(name, help, false);
}

void ConsoleVariable::SetInt(int value) {
    System::String previous = IntToString(intValue_);
    intValue_ = value;
    if (onChange_) onChange_(*this, std::move(previous), IntToString(value));
}

void ConsoleVariable::SetFloat(float value) {
    System::String previous = FloatToString(floatValue_);
    floatValue_ = value;
    if (onChange_) onChange_(*this, std::move(previous), FloatToString(value));
}

void ConsoleVariable::SetString(std::string_view text) {
    System::String previous = textValue_;
    textValue_ = System::MakeString(text);
    if (onChange_) onChange_(*this, std::move(previous), textValue_);
}

ConsoleCommandBase* FindConsoleEntry(std::string_view name) {
    for (ConsoleCommandBase* e = g_head; e; e = e->GetNext()) {
        if (e->GetName() && name == e->GetName()) return e;
    }
    return nullptr;
}

namespace {

// A command's arguments: the texts between blanks after the first one, and
// always the rest of the line as the last. A line without a blank gives one
// argument, the whole line; a doubled blank an empty argument; a trailing
// blank an empty last argument.
void RunCommand(ConsoleCommand& command, std::string_view word, std::string_view line) {
    ConsoleArgs args(word);
    std::size_t blank = line.find(' ');
    std::size_t start = blank == std::string_view::npos ? 0 : blank + 1;
    for (std::size_t end = line.find(' ', start); end != std::string_view::npos;
         end = line.find(' ', start)) {
        args.AddArg(line.substr(start, end - start));
        start = end + 1;
    }
    args.AddArg(line.substr(start));
    if (ConsoleExecute execute = command.GetExecute()) execute(args);
}

// A variable's value is everything after the first blank (the whole line
// without one), stored by the type its text shows.
void SetVariable(ConsoleVariable& variable, std::string_view line) {
    std::size_t blank = line.find(' ');
    std::string text(blank == std::string_view::npos ? line : line.substr(blank + 1));
    switch (static_cast<int>(ClassifyValue(text))) {
        case kValueInt:
            variable.SetInt(std::atoi(text.c_str()));
            break;
        case kValueFloat:
            variable.SetFloat(SafeDoubleToFloat(std::atof(text.c_str())));
            break;
        case kValueBool:
            variable.SetInt(text == "true" ? 1 : 0);
            break;
        default:
            variable.SetString(text);
            break;
    }
}

}  // namespace

void ExecuteCommandLine(std::string_view line) {
    std::string_view word = line.substr(0, line.find(' '));
    ConsoleCommandBase* entry = FindConsoleEntry(word);
    if (!entry) {
        // The line is data, never a format.
        std::string message = "Command \"";
        message.append(line);
        message += "\" cannot be found\n";
        ConsoleWrite(message);
        return;
    }
    if (auto* command = dynamic_cast<ConsoleCommand*>(entry); command && entry->IsCommand()) {
        RunCommand(*command, word, line);
    } else if (auto* variable = dynamic_cast<ConsoleVariable*>(entry)) {
        SetVariable(*variable, line);
    }
}

ConsoleCandidates GetCompletions(const ConsoleCommandBase* entry) {
    auto* command = dynamic_cast<const ConsoleCommand*>(entry);
    if (!command || !command->IsCommand() || !command->GetCompletion()) return {};
    return command->GetCompletion()();
}

void RegisterBloomVariables() {
    // Built on first use, so the call works from any static initialiser.
    static ConsoleVariable bloom[6];
    static const char* const kNames[6] = {"bloom1", "bloom2", "bloom3",
                                          "bloom4", "bloom5", "bloom6"};
    for (int i = 0; i < 6; ++i) bloom[i].Register(kNames[i], "Sets the current bloom");
}

int LuaExecuteConsoleCommand(lua_State* L) {
    int top = lua_gettop(L);
    std::size_t length = 0;
    if (const char* text = LuaTextArgument(L, 1, &length)) {
        // The command may run scripts; it works on its own copy of the line.
        std::string line(text, length);
        ExecuteCommandLine(line);
    }
    lua_settop(L, top);
    return 0;
}

int LuaPrint(lua_State* L) {
    int top = lua_gettop(L);
    // The text is data, never a format, and all of it is written: a Lua
    // string may hold a NUL before its end.
    std::size_t length = 0;
    if (const char* text = LuaTextArgument(L, 1, &length)) ConsoleWrite({text, length});
    lua_settop(L, top);
    return 0;
}
