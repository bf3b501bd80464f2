#include "System/Source/ConsolePrint.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {
ConsoleSink g_sink = nullptr;
}  // namespace

void SetConsoleSink(ConsoleSink sink) {
    g_sink = sink;
}

void ConsoleWrite(std::string_view text) {
    if (text.empty()) return;
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (g_sink) g_sink(text);
}

void ConsolePrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    // Measuring consumes the list: the second pass gets a copy of its own.
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length > 0) {
        std::string text(size_t(length) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(size_t(length));
        ConsoleWrite(text);
    }
    va_end(args);
}
