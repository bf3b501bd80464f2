// Console output: every line meant for the developer console goes through
// ConsolePrintf.
#pragma once

#if defined(__GNUC__)
#define TAZZLE_PRINTF_FORMAT(a, b) __attribute__((format(printf, a, b)))
#else
#define TAZZLE_PRINTF_FORMAT(a, b)
#endif

// Formats printf-style and appends the text to the console's output.
void ConsolePrintf(const char* format, ...) TAZZLE_PRINTF_FORMAT(1, 2);
