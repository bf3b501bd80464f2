// Temporary stand-ins for the data-tree module's value classifier and text
// converters, so the console builds on its own. Removed when that module
// joins the build.
#include <cstdio>
#include <cstring>

#include "System/Source/PoolAllocator.h"

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// An optional "-" then digits only; the empty text and "-" alone count.
bool IsIntText(const char* begin, const char* end) {
    if (begin < end && *begin == '-') ++begin;
    for (; begin < end; ++begin) {
        if (!IsDigit(*begin)) return false;
    }
    return true;
}

bool IsHexText(const char* text, std::size_t length) {
    if (length <= 2 || text[0] != '0' || text[1] != 'x') return false;
    for (std::size_t i = 2; i < length; ++i) {
        char c = text[i];
        if (!IsDigit(c) && !(c >= 'A' && c <= 'F')) return false;
    }
    return true;
}

bool IsFloatText(const char* text, std::size_t length) {
    const char* point = std::strchr(text, '.');
    if (!point) return false;
    return IsIntText(text, point) && IsIntText(point + 1, text + length);
}

// Four parts split at the first three spaces, each an int text.
bool IsColourText(const char* text, std::size_t length) {
    const char* end = text + length;
    const char* start = text;
    for (int part = 0; part < 3; ++part) {
        const char* space = static_cast<const char*>(std::memchr(start, ' ', end - start));
        if (!space || !IsIntText(start, space)) return false;
        start = space + 1;
    }
    return IsIntText(start, end);
}

}  // namespace

int ClassifyValue(const char* text) {
    if (!text) return 4;
    std::size_t length = std::strlen(text);
    if (IsHexText(text, length)) return 1;
    if (IsIntText(text, text + length)) return 0;
    if (IsFloatText(text, length)) return 2;
    if (std::strcmp(text, "true") == 0 || std::strcmp(text, "false") == 0) return 5;
    if (IsColourText(text, length)) return 6;
    return 4;
}

System::String IntToString(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return System::String(text);
}

System::String FloatToString(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", double(value));
    return System::String(text);
}
