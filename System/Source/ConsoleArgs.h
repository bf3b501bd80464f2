// The argument list a console command receives: the command word and the
// argument strings in line order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "System/Source/PoolAllocator.h"

class ConsoleArgs {
public:
    ConsoleArgs() = default;
    explicit ConsoleArgs(std::string_view command) : command_(System::MakeString(command)) {}

    const System::String& Command() const { return command_; }
    void AddArg(std::string_view text) { args_.push_back(System::MakeString(text)); }
    std::size_t Count() const { return args_.size(); }
    // A copy of argument i; "" past the count.
    std::string GetArg(std::size_t index) const {
        if (index >= args_.size()) return std::string();
        return System::ToStd(args_[index]);
    }

private:
    System::String command_;
    System::Vector<System::String> args_;
};

// A console command's handler.
using ConsoleExecute = void (*)(ConsoleArgs& args);
