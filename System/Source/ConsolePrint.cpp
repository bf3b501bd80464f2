#include "System/Source/ConsolePrint.h"

#include <algorithm>
#include <cstdarg>
#include <iterator>
#include <cstdio>
#include <string>

namespace {
ConsoleSink g_sink = nullptr;
}  // namespace

void SetConsoleSink(ConsoleSink sink) {
    g_sink = sink;
}

void ConsoleWrite(std::string_view text) {
    // A NUL has no glyph, and every reader of C strings would stop at it:
    // it is left out, on standard output as on the console, and the text
    // after it arrives whole.
    std::string withoutNul;
    if (text.find('\0') != std::string_view::npos) {
        withoutNul.reserve(text.size());
        std::copy_if(text.begin(), text.end(), std::back_inserter(withoutNul),
                     [](char c) { return c != '\0'; });
        text = withoutNul;
    }
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
