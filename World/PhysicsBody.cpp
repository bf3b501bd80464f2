#include "World/PhysicsBody.h"

#include <algorithm>
#include <cmath>

#include "System/Source/Components/GenericGameObject.h"
#include "World/PhysicsWorld.h"
#include "World/Transform.h"

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

float ReadOr(const float* field, float fallback) {
    return field ? *field : fallback;
}

void WriteFinite(float* field, float value) {
    if (field && std::isfinite(value)) *field = value;
}

// Brings an angle into -pi..pi by whole turns.
float WrapAngle(float rotation) {
    // A huge angle would take forever turn by turn; its whole turns go at once.
    if (std::fabs(rotation) > 1000.0f * kTwoPi) rotation = std::fmod(rotation, kTwoPi);
    while (rotation > kPi) rotation -= kTwoPi;
    while (rotation < -kPi) rotation += kTwoPi;
    return rotation;
}

}  // namespace

PhysicsBody::PhysicsBody() : shape(new Shape()) {
    PhysicsWorld::AddBody(this);
}

PhysicsBody::~PhysicsBody() {
    PhysicsWorld::RemoveBody(this);
    delete shape;
}

System::GenericComponent* PhysicsBody::Create() {
    PhysicsBody* body = new PhysicsBody();
    if (body) body->SetComponentName("PhysicsBody");
    return body;
}

const char* PhysicsBody::GetTypeName() const {
    return System::TypeName<PhysicsBody>::name;
}

void PhysicsBody::OnEnable() {
    PhysicsWorld::AddBody(this);
}

void PhysicsBody::OnDisable() {
    PhysicsWorld::RemoveBody(this);
}

bool PhysicsBody::FindTransform() {
    transform = TransformFields();
    Transform* found = ::FindTransform(*this);
    if (!found) return false;
    transform.component = found;
    transform.x = &found->x;
    transform.y = &found->y;
    transform.scaleX = &found->scaleX;
    transform.scaleY = &found->scaleY;
    transform.rotation = &found->rotation;
    return true;
}

Vec2 PhysicsBody::GetPosition() const {
    return {ReadOr(transform.x, 0.0f), ReadOr(transform.y, 0.0f)};
}

void PhysicsBody::SetPosition(float px, float py) {
    WriteFinite(transform.x, px);
    WriteFinite(transform.y, py);
}

float PhysicsBody::GetRotation() const {
    return ReadOr(transform.rotation, 0.0f);
}

void PhysicsBody::SetRotation(float angle) {
    WriteFinite(transform.rotation, angle);
}

void PhysicsBody::ReplaceShape(Shape* replacement) {
    delete shape;
    // Without memory for the new shape the body keeps a placeholder, which
    // touches nothing.
    shape = replacement ? replacement : new Shape();
}

void PhysicsBody::SizeTransform(float width, float height) {
    if (!FindTransform()) return;
    WriteFinite(transform.scaleX, width);
    WriteFinite(transform.scaleY, height);
    bounciness = 0.0f;
}

void PhysicsBody::CreateBox(float width, float height) {
    ReplaceShape(new Box(width, height));
    SetMass(width * height);
    SizeTransform(width, height);
}

void PhysicsBody::CreateRigidBox(float width, float height) {
    ReplaceShape(Rigid::MakeBox(width, height));
    SetMass(width * height);
    inertia = mass * (width * width + height * height) * 0.0833333358f;
    invInertia = (inertia != 0.0f && std::isfinite(inertia)) ? 1.0f / inertia : 0.0f;
    SizeTransform(width, height);
}

void PhysicsBody::CreateCircle(float radius) {
    ReplaceShape(new Circle(radius));
    if (!FindTransform()) return;
    WriteFinite(transform.scaleX, radius);
    WriteFinite(transform.scaleY, radius);
}

void PhysicsBody::CreateRigid(const Vec2* points, int count) {
    ReplaceShape(Rigid::MakePolygon(points, count));
    mass = invMass = inertia = invInertia = 0.0f;
}

void PhysicsBody::SetMass(float m) {
    mass = m;
    if (m > 0.0f) {
        invMass = 1.0f / m;
    } else {
        invMass = inertia = invInertia = 0.0f;
    }
}

void PhysicsBody::SetVelocity(Vec2 v) {
    if (mass == 0.0f || !v.IsFinite()) return;
    speed = v.Length();
    direction = v.Normalized();
}

void PhysicsBody::SetVelX(float x) {
    SetVelocity({x, GetVelocity().y});
}

void PhysicsBody::SetVelY(float y) {
    SetVelocity({GetVelocity().x, y});
}

void PhysicsBody::SetAngularVelocity(float w) {
    angularVelocity = (fixedAngle || IsBoxShaped() || !std::isfinite(w)) ? 0.0f : w;
}

void PhysicsBody::ApplyImpulse(Vec2 impulse, Vec2 r) {
    Vec2 v = GetVelocity() + impulse * invMass;
    if (mass != 0.0f && v.IsFinite()) {
        speed = v.Length();
        direction = v.Normalized();
    }
    if (fixedAngle || IsBoxShaped()) {
        angularVelocity = 0.0f;
    } else {
        float w = angularVelocity + Cross(r, impulse) * EffectiveInvInertia();
        if (std::isfinite(w)) angularVelocity = w;
    }
}

void PhysicsBody::CreateForce(float time, float fx, float fy) {
    forces.push_back({{fx, fy}, time});
}

void PhysicsBody::CreateNormalForce(float time, float dx, float dy, float magnitude) {
    forces.push_back({Vec2(dx, dy).Normalized() * magnitude, time});
}

void PhysicsBody::AddToCollisionList(int32_t collisionLayer) {
    if (!InCollisionList(collisionLayer)) collisionList.push_back(collisionLayer);
}

void PhysicsBody::RemoveFromCollisionList(int32_t collisionLayer) {
    auto found = std::find(collisionList.begin(), collisionList.end(), collisionLayer);
    if (found != collisionList.end()) collisionList.erase(found);
}

bool PhysicsBody::InCollisionList(int32_t collisionLayer) const {
    return std::find(collisionList.begin(), collisionList.end(), collisionLayer) !=
           collisionList.end();
}

void PhysicsBody::Update(float dt) {
    if (!FindTransform()) return;

    // The impulse of the forces over this step; expired forces go.
    Vec2 impulse;
    for (auto it = forces.begin(); it != forces.end();) {
        if (it->time == 0.0f) {
            impulse += it->force * dt;
            ++it;
        } else if (it->time > 0.0f) {
            impulse += it->force * std::min(dt, it->time);
            it->time -= dt;
            it = it->time <= 0.0f ? forces.erase(it) : std::next(it);
        } else {
            it = forces.erase(it);
        }
    }

    Vec2 v = GetVelocity() + (gravity * dt + impulse * invMass);
    // The length in double, so that huge components neither overflow nor
    // turn into NaN on the way.
    double length = std::hypot(static_cast<double>(v.x), static_cast<double>(v.y));
    if (!std::isfinite(length)) {
        v = Vec2();
        length = 0.0;
    } else if (length > kSpeedCap) {
        double scale = kSpeedCap / length;
        v = Vec2(static_cast<float>(v.x * scale), static_cast<float>(v.y * scale));
    }
    if (mass != 0.0f) {
        speed = v.Length();
        direction = v.Normalized();
    }

    Vec2 start = GetPosition();
    Vec2 position = start + GetVelocity() * dt;
    SetPosition(position.x, position.y);
    sweep = {start, GetPosition(), dt, PhysicsWorld::CurrentStep()};

    if (fixedAngle || IsBoxShaped()) angularVelocity = 0.0f;
    float rotation = GetRotation() + dt * angularVelocity;
    if (std::isfinite(rotation)) SetRotation(WrapAngle(rotation));
}

bool PhysicsBody::HandleMessage(const MessagePayload& payload) {
    const System::MetaArgs& args = payload.Args();
    auto arg = [&args](unsigned i) {
        float value = System::GetArgument(args, i).ToFloat();
        return std::isfinite(value) ? value : 0.0f;
    };
    // A message without a number says nothing (it would read as 0, SetMass).
    if (args.empty() || !args[0].IsNumber()) return false;
    switch (args[0].ToInt()) {
        case 0:
            SetMass(arg(1));
            break;
        case 3:
            bounciness = arg(1);
            break;
        case 4:
            direction = Vec2(arg(1), arg(2));
            break;
        case 5:
            speed = arg(1);
            break;
        case 6:
            SetVelocity({arg(1), arg(2)});
            break;
        case 7:
            FindTransform();
            SetPosition(arg(1), arg(2));
            break;
        case 8:
            break;
        case 10:
            ghost = arg(1) != 0.0f;
            break;
        case 11:
            FindTransform();
            break;
        case 12:
            CreateNormalForce(arg(1), arg(2), arg(3), arg(4));
            break;
        case 13: {
            Vec2 position = GetPosition() + Vec2(arg(1), arg(2));
            SetPosition(position.x, position.y);
            break;
        }
        case 14:
            SetRotation(arg(1));
            break;
        case 15:
            SetAngularVelocity(arg(1));
            break;
        case 21:
            CreateBox(arg(1), arg(2));
            break;
        case 22:
            CreateCircle(arg(1));
            break;
        case 23:
            CreateRigidBox(arg(1), arg(2));
            break;
        case 31:
            Update(arg(1));
            break;
        default:
            return false;
    }
    return true;
}
