#include "World/Shapes.h"

#include <cmath>

float HalfDiagonal(float w, float h) {
    return std::sqrt((w / 2) * (w / 2) + (h / 2) * (h / 2));
}

Box::Box(float w, float h) : Shape(kShapeBox, HalfDiagonal(w, h)), width(w), height(h) {}

Rigid* Rigid::MakeBox(float w, float h) {
    Rigid* rigid = new Rigid();
    if (!rigid) return nullptr;
    float hw = w / 2;
    float hh = h / 2;
    rigid->points = {{hw, hh}, {-hw, hh}, {-hw, -hh}, {hw, -hh}};
    rigid->pointCount = 4;
    rigid->radius = HalfDiagonal(w, h);
    return rigid;
}

Rigid* Rigid::MakePolygon(const Vec2* points, int count) {
    Rigid* rigid = new Rigid();
    if (!rigid) return nullptr;
    if (points && count > 0) rigid->points.assign(points, points + count);
    rigid->pointCount = static_cast<int32_t>(rigid->points.size());
    float greatest = 0.0f;
    for (int32_t i = 0; i < rigid->pointCount; ++i) {
        for (int32_t j = i + 1; j < rigid->pointCount; ++j) {
            float distance = (rigid->points[j] - rigid->points[i]).Length();
            if (distance > greatest) greatest = distance;
        }
    }
    rigid->radius = greatest;
    return rigid;
}

Vec2 Rigid::FaceNormal(int i) const {
    Vec2 a = points[i];
    Vec2 b = points[(i + 1) % pointCount];
    Vec2 edge = b - a;
    return Vec2(edge.y, -edge.x).Normalized();
}
