#include "Gui/ConsolePrint.h"

#include <cstdarg>
#include <cstdio>
#include <string>

// Until the console panel exists, console output goes to standard output.
void ConsolePrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length > 0) {
        std::string text(size_t(length) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, args);
        std::fwrite(text.data(), 1, size_t(length), stdout);
    }
    va_end(args);
}
