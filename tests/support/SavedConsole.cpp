#include "support/SavedConsole.h"

#include <sstream>

#include "System/Source/Console.h"

namespace TestSupport {

SavedConsole::SavedConsole() : head_(ConsoleCommandBase::Head()) {
    for (ConsoleCommandBase* e = head_; e; e = e->GetNext()) {
        if (auto* variable = dynamic_cast<ConsoleVariable*>(e))
            values_.push_back(
                {variable, variable->GetInt(), variable->GetFloat(), variable->GetString()});
    }
}

void SavedConsole::Restore() {
    ConsoleCommandBase::RestoreHead(head_);
    for (const Values& saved : values_) {
        saved.variable->SetInt(saved.intValue);
        saved.variable->SetFloat(saved.floatValue);
        saved.variable->SetString(saved.text);
    }
}

std::string DescribeConsole() {
    std::ostringstream out;
    for (ConsoleCommandBase* e = ConsoleCommandBase::Head(); e; e = e->GetNext()) {
        out << (e->GetName() ? e->GetName() : "(null)");
        if (auto* variable = dynamic_cast<ConsoleVariable*>(e))
            out << "=" << variable->GetInt() << "/" << variable->GetFloat() << "/'"
                << variable->GetString() << "'";
        out << " ";
    }
    return out.str();
}

}  // namespace TestSupport
