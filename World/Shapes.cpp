#include "World/Shapes.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

float HalfDiagonal(float w, float h) {
    return std::sqrt((w / 2) * (w / 2) + (h / 2) * (h / 2));
}

Box::Box(float w, float h) : Shape(kShapeBox, HalfDiagonal(w, h)), width(w), height(h) {}

namespace {

// The smallest extent of the polygon along its own face normals.
float PolygonThickness(const Rigid& rigid) {
    float thinnest = FLT_MAX;
    for (int32_t face = 0; face < rigid.pointCount; ++face) {
        Vec2 normal = rigid.FaceNormal(face);
        if (normal == Vec2()) continue;
        float low = FLT_MAX, high = -FLT_MAX;
        for (const Vec2& point : rigid.points) {
            float projection = Dot(point, normal);
            low = std::min(low, projection);
            high = std::max(high, projection);
        }
        thinnest = std::min(thinnest, high - low);
    }
    return thinnest == FLT_MAX ? 0.0f : thinnest;
}

}  // namespace

float ShapeThickness(const Shape& shape) {
    switch (shape.typeId) {
        case kShapeBox: {
            const Box& box = static_cast<const Box&>(shape);
            return std::min(std::fabs(box.width), std::fabs(box.height));
        }
        case kShapeCircle:
            return 2 * std::fabs(shape.radius);
        case kShapeRigid:
            return static_cast<const Rigid&>(shape).thickness;
        default:
            return 0.0f;
    }
}

Rigid* Rigid::MakeBox(float w, float h) {
    Rigid* rigid = new Rigid();
    if (!rigid) return nullptr;
    float hw = w / 2;
    float hh = h / 2;
    rigid->points = {{hw, hh}, {-hw, hh}, {-hw, -hh}, {hw, -hh}};
    rigid->pointCount = 4;
    rigid->radius = HalfDiagonal(w, h);
    rigid->thickness = std::min(std::fabs(w), std::fabs(h));
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
    rigid->thickness = PolygonThickness(*rigid);
    return rigid;
}

Vec2 Rigid::FaceNormal(int i) const {
    Vec2 a = points[i];
    Vec2 b = points[(i + 1) % pointCount];
    Vec2 edge = b - a;
    return Vec2(edge.y, -edge.x).Normalized();
}
