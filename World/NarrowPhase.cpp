// The narrow phase of the physics world step: whether the shapes of two
// bodies touch, with the contact normal, the depth and the contact points.
// Axis-aligned boxes and circles have tests of their own; a box meeting a
// polygon is tested as the polygon of its corners.
#include "World/NarrowPhase.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "World/PhysicsBody.h"

namespace PhysicsWorld {
namespace {

// ---- Polygons ----

// A convex polygon placed in the world: its local points, rotation and
// position.
struct Polygon {
    PhysicsBody* body = nullptr;
    const Vec2* points = nullptr;
    int count = 0;
    Vec2 position;
    float c = 1.0f;
    float s = 0.0f;

    Vec2 Rotate(Vec2 v) const { return {c * v.x - s * v.y, s * v.x + c * v.y}; }
    Vec2 Unrotate(Vec2 v) const { return {c * v.x + s * v.y, -s * v.x + c * v.y}; }
    Vec2 World(int i) const { return Rotate(points[i]) + position; }
    Vec2 Normal(int i) const {
        Vec2 edge = points[(i + 1) % count] - points[i];
        return Vec2(edge.y, -edge.x).Normalized();
    }
    // The first point farthest along `direction` (local coordinates).
    Vec2 Support(Vec2 direction) const {
        float best = -FLT_MAX;
        Vec2 found = points[0];
        for (int i = 0; i < count; ++i) {
            float projection = Dot(points[i], direction);
            if (projection > best) {
                best = projection;
                found = points[i];
            }
        }
        return found;
    }
};

Polygon MakePolygon(PhysicsBody& body, const Vec2* points, int count) {
    Polygon polygon;
    polygon.body = &body;
    polygon.points = points;
    polygon.count = count;
    polygon.position = body.GetPosition();
    float rotation = body.GetRotation();
    polygon.c = std::cos(rotation);
    polygon.s = std::sin(rotation);
    return polygon;
}

// The face of `a` along which `b` penetrates least, and that penetration
// (negative while they overlap along it).
float LeastPenetration(const Polygon& a, const Polygon& b, int& face) {
    float best = -FLT_MAX;
    face = -1;
    for (int i = 0; i < a.count; ++i) {
        Vec2 n = b.Unrotate(a.Rotate(a.Normal(i)));
        Vec2 support = b.Support(-n);
        Vec2 v = b.Unrotate(a.Rotate(a.points[i]) + a.position - b.position);
        float distance = Dot(n, support - v);
        if (distance > best) {
            best = distance;
            face = i;
        }
    }
    return best;
}

// Keeps the part of the segment on the negative side of (m, c); returns the
// number of points kept (at most 2).
int Clip(Vec2 m, float c, const Vec2 in[2], Vec2 out[2]) {
    int kept = 0;
    float d0 = Dot(m, in[0]) - c;
    float d1 = Dot(m, in[1]) - c;
    if (d0 <= 0.0f) out[kept++] = in[0];
    if (d1 <= 0.0f) out[kept++] = in[1];
    if (d0 * d1 < 0.0f && kept < 2) {
        out[kept++] = in[0] + (in[1] - in[0]) * (d0 / (d0 - d1));
    }
    return kept;
}

bool PolygonTest(const Polygon& a, const Polygon& b, Contact& contact) {
    // A polygon without points has no faces to test against.
    if (a.count <= 0 || b.count <= 0) return false;
    int faceA = -1;
    float penetrationA = LeastPenetration(a, b, faceA);
    if (penetrationA >= 0.0f || faceA < 0) return false;
    int faceB = -1;
    float penetrationB = LeastPenetration(b, a, faceB);
    if (penetrationB >= 0.0f || faceB < 0) return false;

    bool flip = penetrationA < penetrationB;
    const Polygon& reference = flip ? b : a;
    const Polygon& incident = flip ? a : b;
    int referenceFace = flip ? faceB : faceA;

    // The incident face: the one most against the reference normal.
    Vec2 referenceNormal = incident.Unrotate(reference.Rotate(reference.Normal(referenceFace)));
    int incidentFace = 0;
    float smallest = FLT_MAX;
    for (int i = 0; i < incident.count; ++i) {
        float d = Dot(referenceNormal, incident.Normal(i));
        if (d < smallest) {
            smallest = d;
            incidentFace = i;
        }
    }
    Vec2 segment[2] = {incident.World(incidentFace),
                       incident.World((incidentFace + 1) % incident.count)};

    Vec2 q1 = reference.World(referenceFace);
    Vec2 q2 = reference.World((referenceFace + 1) % reference.count);
    Vec2 side = (q2 - q1).Normalized();
    Vec2 faceNormal(side.y, -side.x);
    float referenceC = Dot(faceNormal, q1);
    float negSide = -Dot(side, q1);
    float posSide = Dot(side, q2);

    Vec2 clipped[2];
    if (Clip(-side, negSide, segment, clipped) < 2) return false;
    if (Clip(side, posSide, clipped, segment) < 2) return false;

    contact.normal = flip ? -faceNormal : faceNormal;
    PhysicsBody& holder = *reference.body;
    int count = 0;
    float depth = 0.0f;
    float s0 = Dot(faceNormal, segment[0]) - referenceC;
    if (s0 <= 0.0f) {
        holder.contacts[count++] = segment[0];
        depth = -s0;
    }
    float s1 = Dot(faceNormal, segment[1]) - referenceC;
    if (s1 <= 0.0f) {
        holder.contacts[count++] = segment[1];
        depth = (depth - s1) / 2;
    }
    holder.contactCount = count;
    contact.depth = depth;
    return true;
}

// The four corners of a box shape, as a polygon test sees them.
void BoxCorners(const Box& box, Vec2 out[4]) {
    float hw = box.width / 2;
    float hh = box.height / 2;
    out[0] = {hw, hh};
    out[1] = {-hw, hh};
    out[2] = {-hw, -hh};
    out[3] = {hw, -hh};
}

// A body's shape as a polygon: a Rigid as it is, a Box by its corners
// (`corners` holds them while the polygon is used).
Polygon AsPolygon(PhysicsBody& body, Vec2 corners[4]) {
    if (body.shape->typeId == kShapeBox) {
        BoxCorners(static_cast<const Box&>(*body.shape), corners);
        return MakePolygon(body, corners, 4);
    }
    const Rigid& rigid = static_cast<const Rigid&>(*body.shape);
    int count = std::min<int>(rigid.pointCount, static_cast<int>(rigid.points.size()));
    return MakePolygon(body, rigid.points.data(), count);
}

// ---- Boxes and circles ----

bool BoxTest(PhysicsBody& a, PhysicsBody& b, Contact& contact) {
    const Box& boxA = static_cast<const Box&>(*a.shape);
    const Box& boxB = static_cast<const Box&>(*b.shape);
    Vec2 pa = a.GetPosition();
    Vec2 pb = b.GetPosition();
    Vec2 d = pb - pa;
    float overlapX = (boxA.width + boxB.width) / 2 - std::fabs(d.x);
    if (!(overlapX > 0.0f)) return false;
    float overlapY = (boxA.height + boxB.height) / 2 - std::fabs(d.y);
    if (!(overlapY > 0.0f)) return false;

    float topA = pa.y + boxA.height / 2, bottomA = pa.y - boxA.height / 2;
    float topB = pb.y + boxB.height / 2, bottomB = pb.y - boxB.height / 2;
    float rightA = pa.x + boxA.width / 2, leftA = pa.x - boxA.width / 2;
    float rightB = pb.x + boxB.width / 2, leftB = pb.x - boxB.width / 2;
    if (overlapX < overlapY) {
        contact.normal = Vec2(d.x >= 0.0f ? 1.0f : -1.0f, 0.0f);
        contact.depth = overlapX;
        float x = pa.x - contact.normal.x * boxA.width / 2;
        a.contacts[0] = {x, std::min(topA, topB)};
        a.contacts[1] = {x, std::max(bottomA, bottomB)};
    } else {
        contact.normal = Vec2(0.0f, d.y >= 0.0f ? 1.0f : -1.0f);
        contact.depth = overlapY;
        float y = pa.y - contact.normal.y * boxA.height / 2;
        a.contacts[0] = {std::min(rightA, rightB), y};
        a.contacts[1] = {std::max(leftA, leftB), y};
    }
    a.contactCount = 2;
    return true;
}

bool CircleTest(PhysicsBody& a, PhysicsBody& b, Contact& contact) {
    float r = a.shape->radius + b.shape->radius;
    Vec2 d = b.GetPosition() - a.GetPosition();
    if (d.LengthSquared() > r * r) return false;
    contact.normal = d.Normalized();
    contact.depth = r - d.Length();
    return true;
}

bool CircleBoxTest(PhysicsBody& a, PhysicsBody& b, Contact& contact) {
    bool circleFirst = a.shape->typeId == kShapeCircle;
    PhysicsBody& boxBody = circleFirst ? b : a;
    PhysicsBody& circleBody = circleFirst ? a : b;
    const Box& box = static_cast<const Box&>(*boxBody.shape);
    float radius = circleBody.shape->radius;
    Vec2 boxCentre = boxBody.GetPosition();
    Vec2 centre = circleBody.GetPosition();

    float left = boxCentre.x - box.width / 2, right = boxCentre.x + box.width / 2;
    float bottom = boxCentre.y - box.height / 2, top = boxCentre.y + box.height / 2;
    Vec2 d = centre - boxCentre;
    // std::clamp needs lo <= hi; a box of negative size clamps to its centre.
    Vec2 nearest(std::max(left, std::min(centre.x, right)),
                 std::max(bottom, std::min(centre.y, top)));
    bool inside = nearest == centre;
    Vec2 m = centre - nearest;
    float dist = m.Length();
    if (dist > radius && !inside) return false;
    if (!inside) {
        contact.normal = m;
        contact.depth = radius - dist;
    } else {
        // The centre leaves through the nearer face: measuring from the box's
        // centre instead would push a ball that sank into a wide floor out
        // through the floor's far end, and not far enough to clear it.
        float throughX = box.width / 2 - std::fabs(d.x);
        float throughY = box.height / 2 - std::fabs(d.y);
        if (throughX < throughY) {
            contact.normal = Vec2(d.x, 0.0f);
            contact.depth = throughX + radius;
        } else {
            contact.normal = Vec2(0.0f, d.y);
            contact.depth = throughY + radius;
        }
    }
    if (circleFirst) contact.normal = -contact.normal;
    return true;
}

}  // namespace

bool TestPair(PhysicsBody& a, PhysicsBody& b, Contact& contact) {
    int typeA = a.ShapeType();
    int typeB = b.ShapeType();
    if (typeA == kShapeBox && typeB == kShapeBox) return BoxTest(a, b, contact);
    if ((typeA == kShapeBox && typeB == kShapeCircle) ||
        (typeA == kShapeCircle && typeB == kShapeBox)) {
        return CircleBoxTest(a, b, contact);
    }
    if (typeA == kShapeCircle && typeB == kShapeCircle) return CircleTest(a, b, contact);
    bool polygonA = typeA == kShapeBox || typeA == kShapeRigid;
    bool polygonB = typeB == kShapeBox || typeB == kShapeRigid;
    if (polygonA && polygonB) {
        Vec2 cornersA[4], cornersB[4];
        return PolygonTest(AsPolygon(a, cornersA), AsPolygon(b, cornersB), contact);
    }
    return false;
}

}  // namespace PhysicsWorld
