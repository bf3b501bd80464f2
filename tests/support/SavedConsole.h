// The console's registry and variables, kept and put back: tests that
// register stand-in commands or set variables leave the console as it was.
#pragma once

#include <string>
#include <vector>

class ConsoleCommandBase;
class ConsoleVariable;

namespace TestSupport {

class SavedConsole {
public:
    SavedConsole();
    ~SavedConsole() { Restore(); }
    SavedConsole(const SavedConsole&) = delete;
    SavedConsole& operator=(const SavedConsole&) = delete;

    // Unlinks the entries registered since and gives every variable its
    // values back.
    void Restore();

private:
    struct Values {
        ConsoleVariable* variable;
        int intValue;
        float floatValue;
        std::string text;
    };
    ConsoleCommandBase* head_ = nullptr;
    std::vector<Values> values_;
};

// The registry as text, newest entry first: names, and the values of the
// variables ("bloom1=0/0.000000/''").
std::string DescribeConsole();

}  // namespace TestSupport
