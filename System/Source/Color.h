// RGBA colour of four bytes.
#pragma once

#include <cstdint>

struct Color {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t a = 255;

    constexpr Color() = default;
    constexpr Color(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha)
        : r(red), g(green), b(blue), a(alpha) {}

    constexpr bool operator==(const Color& o) const {
        return r == o.r && g == o.g && b == o.b && a == o.a;
    }
    constexpr bool operator!=(const Color& o) const { return !(*this == o); }
};
static_assert(sizeof(Color) == 4, "a colour is four bytes");

// Red, green and blue scaled by `factor` (capped at 255; alpha unchanged).
Color ScaleColor(Color color, float factor);
// Each channel start + trunc((end - start) * t), modulo 256.
Color LerpColor(Color start, Color end, float t);
