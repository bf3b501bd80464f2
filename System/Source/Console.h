// The developer console's registry: one process-wide list of commands and
// variables, the line runner that dispatches a typed line to them, and the
// Lua globals that reach the console from scripts.
//
// Entries are static objects linked at the head of the list when they
// register, so a walk from the head meets the last registration first.
// The game never unlinks an entry; tests take their stand-ins away again.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "System/Source/ConsoleArgs.h"
#include "System/Source/PoolAllocator.h"

struct lua_State;

// Candidate lists of a command's arguments: element k holds the candidates
// for argument k (counted from 0).
using ConsoleCandidates = std::vector<std::vector<std::string>>;
using ConsoleCompletion = ConsoleCandidates (*)();

class ConsoleVariable;
// Told about every change of a variable: the variable, the previous value
// and the new value, both as text.
using ConsoleChange = void (*)(ConsoleVariable& variable, System::String previous,
                               System::String current);

// The base of both entry kinds.
class ConsoleCommandBase : public System::PoolObject {
public:
    ConsoleCommandBase(const ConsoleCommandBase&) = delete;
    ConsoleCommandBase& operator=(const ConsoleCommandBase&) = delete;
    virtual ~ConsoleCommandBase() = default;

    virtual bool IsCommand() const { return isCommand_; }

    // The name may be null only before registration; a null name never
    // matches a line.
    const char* GetName() const { return name_; }
    const char* GetHelp() const { return help_; }
    ConsoleCommandBase* GetNext() const { return next_; }

    // The first entry of the registry (the last registered), or null.
    static ConsoleCommandBase* Head();
    // Unlinks every entry registered after `head`, a Head() taken earlier:
    // the registry is back as it was then.
    static void RestoreHead(ConsoleCommandBase* head);

protected:
    ConsoleCommandBase() = default;
    // Sets the fields (a null help becomes "") and links the entry at the
    // head of the registry. An entry that is already linked keeps its place
    // (relinking it would close the list into a cycle).
    void Register(const char* name, const char* help, bool isCommand);

private:
    const char* name_ = nullptr;
    const char* help_ = "";
    bool isCommand_ = false;
    ConsoleCommandBase* next_ = nullptr;
};

class ConsoleCommand : public ConsoleCommandBase {
public:
    // An entry to be registered later.
    ConsoleCommand() = default;
    // Registers at once: the form for static entries.
    ConsoleCommand(const char* name, const char* help, ConsoleExecute execute,
                   ConsoleCompletion completion = nullptr) {
        Register(name, help, execute, completion);
    }

    virtual bool HasExecute() const { return true; }
    void Register(const char* name, const char* help, ConsoleExecute execute,
                  ConsoleCompletion completion = nullptr);

    ConsoleExecute GetExecute() const { return execute_; }
    ConsoleCompletion GetCompletion() const { return completion_; }

private:
    ConsoleExecute execute_ = nullptr;
    ConsoleCompletion completion_ = nullptr;
};

class ConsoleVariable : public ConsoleCommandBase {
public:
    ConsoleVariable() = default;
    ConsoleVariable(const char* name, const char* help, ConsoleChange onChange = nullptr) {
        Register(name, help, onChange);
    }

    void Register(const char* name, const char* help, ConsoleChange onChange = nullptr);

    // Each setter stores its own field only, then tells the listener.
    void SetInt(int value);
    void SetFloat(float value);
    void SetString(std::string_view text);

    int GetInt() const { return intValue_; }
    float GetFloat() const { return floatValue_; }
    std::string GetString() const { return System::ToStd(textValue_); }

private:
    ConsoleChange onChange_ = nullptr;
    int intValue_ = 0;
    float floatValue_ = 0.0f;
    System::String textValue_;
};

// The first entry whose name equals `name` exactly, or null.
ConsoleCommandBase* FindConsoleEntry(std::string_view name);

// Runs one console line: the text before the first blank selects an entry;
// a command receives the arguments, a variable the value text. A word that
// names no entry prints `Command "<line>" cannot be found`.
void ExecuteCommandLine(std::string_view line);

// The candidate lists of a command with a completion function; empty for
// anything else (null included).
ConsoleCandidates GetCompletions(const ConsoleCommandBase* entry);

// Registers the variables bloom1 to bloom6, in that order.
void RegisterBloomVariables();

// Lua global ExecuteConsoleCommand(line): runs the line; no results.
int LuaExecuteConsoleCommand(lua_State* L);
// Lua global Print(text): writes the text to the console as it is.
int LuaPrint(lua_State* L);
