// Console output: every line meant for the developer console goes through
// ConsolePrintf or ConsoleWrite. It lands on standard output, so that a game
// run from a terminal (and CI) still sees errors, and in the sink that the
// GUI's console panel plugs in (its output area).
#pragma once

#include <string_view>

#if defined(__GNUC__)
#define TAZZLE_PRINTF_FORMAT(a, b) __attribute__((format(printf, a, b)))
#else
#define TAZZLE_PRINTF_FORMAT(a, b)
#endif

// Formats printf-style and appends the text to the console's output.
void ConsolePrintf(const char* format, ...) TAZZLE_PRINTF_FORMAT(1, 2);
// Appends the text as it is (script text is data, never a format), all of
// it: a NUL byte inside it is left out.
void ConsoleWrite(std::string_view text);

// Where console text goes besides standard output; null: nowhere. The
// console panel plugs its output area in.
using ConsoleSink = void (*)(std::string_view text);
void SetConsoleSink(ConsoleSink sink);
