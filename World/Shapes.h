// Collision shapes of the physics bodies.
#pragma once

#include <cstdint>

#include "System/Source/PoolAllocator.h"
#include "World/Vec2.h"

enum ShapeType : int32_t {
    kShapeNone = 0,
    kShapeBox = 1,
    kShapeCircle = 2,
    kShapeBoundary = 3,
    kShapeRigid = 4,
};

// The base of every shape: its kind and the bounding radius that the world
// step's broad phase uses. A plain Shape is the placeholder of a new body.
class Shape : public System::PoolObject {
public:
    Shape() = default;
    Shape(int32_t type, float boundingRadius) : typeId(type), radius(boundingRadius) {}
    virtual ~Shape() = default;

    int32_t typeId = kShapeNone;
    float radius = 0.0f;
};

// An axis-aligned box centred on the body.
class Box : public Shape {
public:
    Box(float w, float h);
    float width = 0.0f;
    float height = 0.0f;
};

// A circle centred on the body; `radius` is its radius.
class Circle : public Shape {
public:
    explicit Circle(float r) : Shape(kShapeCircle, r) {}
};

// Reserved: nothing creates one and the world step never tests it.
class Boundary : public Shape {
public:
    Boundary() : Shape(kShapeBoundary, 0.0f) {}
    int32_t side = 0;
    float offset = 0.0f;
};

// A convex polygon in body-local coordinates, counter-clockwise (y up).
class Rigid : public Shape {
public:
    Rigid() : Shape(kShapeRigid, 0.0f) {}
    // The four corners of a w x h box, counter-clockwise from the upper
    // right; the radius is the half diagonal.
    static Rigid* MakeBox(float w, float h);
    // A copy of the points; the radius is the greatest distance between any
    // two of them.
    static Rigid* MakePolygon(const Vec2* points, int count);

    // Face i runs from point i to point i + 1 (the last back to point 0).
    Vec2 FaceNormal(int i) const;

    System::Vector<Vec2> points;
    int32_t pointCount = 0;
    // The smallest width across any face normal, fixed when the points are.
    float thickness = 0.0f;
};

// The half diagonal of a w x h box.
float HalfDiagonal(float w, float h);

// The smallest width of a shape: a body that moves further than half of it
// in one step could pass through something thin without ever overlapping
// it deeply enough to be pushed back the right way. 0 for shapes that are
// never tested.
float ShapeThickness(const Shape& shape);
