// A two-component float vector for the physics.
#pragma once

#include <cmath>

struct Vec2 {
    float x = 0.0f;
    float y = 0.0f;

    constexpr Vec2() = default;
    constexpr Vec2(float px, float py) : x(px), y(py) {}

    constexpr Vec2 operator+(Vec2 o) const { return {x + o.x, y + o.y}; }
    constexpr Vec2 operator-(Vec2 o) const { return {x - o.x, y - o.y}; }
    constexpr Vec2 operator-() const { return {-x, -y}; }
    constexpr Vec2 operator*(float s) const { return {x * s, y * s}; }
    Vec2& operator+=(Vec2 o) {
        x += o.x;
        y += o.y;
        return *this;
    }
    Vec2& operator-=(Vec2 o) {
        x -= o.x;
        y -= o.y;
        return *this;
    }
    constexpr bool operator==(const Vec2&) const = default;

    float LengthSquared() const { return x * x + y * y; }
    // Without overflow for large components.
    float Length() const { return std::hypot(x, y); }
    // The unit vector of the same direction; (0, 0) for a zero vector.
    Vec2 Normalized() const {
        float length = Length();
        if (length == 0.0f || !std::isfinite(length)) return {};
        return {x / length, y / length};
    }
    bool IsFinite() const { return std::isfinite(x) && std::isfinite(y); }
};

inline float Dot(Vec2 a, Vec2 b) {
    return a.x * b.x + a.y * b.y;
}
inline float Cross(Vec2 a, Vec2 b) {
    return a.x * b.y - a.y * b.x;
}
// The cross product of a scalar (an angular velocity) with a vector.
inline Vec2 Cross(float s, Vec2 v) {
    return {-s * v.y, s * v.x};
}
