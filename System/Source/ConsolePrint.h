// Console output: every line meant for the developer console goes through
// ConsolePrintf or ConsoleWrite. It lands in the console's output area and,
// so that a game run from a terminal (and CI) still sees errors, on
// standard output as well.
#pragma once

#include <string_view>

#if defined(__GNUC__)
#define TAZZLE_PRINTF_FORMAT(a, b) __attribute__((format(printf, a, b)))
#else
#define TAZZLE_PRINTF_FORMAT(a, b)
#endif

// Formats printf-style and appends the text to the console's output.
void ConsolePrintf(const char* format, ...) TAZZLE_PRINTF_FORMAT(1, 2);
// Appends the text as it is (script text is data, never a format).
void ConsoleWrite(std::string_view text);
