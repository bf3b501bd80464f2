// The Lua class "PhysicsBody": its methods and its "new".
#include <cmath>
#include <cstdio>

#include "System/Source/Components/LuaBinding.h"
#include "World/PhysicsBody.h"

namespace PhysicsBodyMethods {

using System::GetArgument;
using System::MetaArgs;

// Argument i as a float; a missing, non-number or non-finite value reads
// as 0.
float Number(const MetaArgs& args, unsigned i) {
    float value = GetArgument(args, i).ToFloat();
    return std::isfinite(value) ? value : 0.0f;
}

int Integer(const MetaArgs& args, unsigned i) {
    return GetArgument(args, i).ToInt();
}

MetaValue AddToCollisionList(PhysicsBody& body, MetaArgs& args) {
    body.AddToCollisionList(Integer(args, 0));
    return MetaValue::None();
}

MetaValue CompareDistance(PhysicsBody& body, MetaArgs& args) {
    PhysicsBody* other = GetArgument(args, 0).ToObject<PhysicsBody>();
    if (!other) {
        std::printf("CompareDistance: the argument is not a PhysicsBody\n");
        return MetaValue::None();
    }
    float radius = other->shape ? other->shape->radius : 0.0f;
    float squared = (other->GetPosition() - body.GetPosition()).LengthSquared();
    return MetaValue(static_cast<double>(squared - radius * radius));
}

MetaValue CreateBox(PhysicsBody& body, MetaArgs& args) {
    body.CreateBox(Number(args, 0), Number(args, 1));
    return MetaValue::None();
}

MetaValue CreateForce(PhysicsBody& body, MetaArgs& args) {
    body.CreateForce(Number(args, 0), Number(args, 1), Number(args, 2));
    return MetaValue::None();
}

MetaValue CreateNormalForce(PhysicsBody& body, MetaArgs& args) {
    body.CreateNormalForce(Number(args, 0), Number(args, 1), Number(args, 2), Number(args, 3));
    return MetaValue::None();
}

MetaValue CreateRigidBox(PhysicsBody& body, MetaArgs& args) {
    body.CreateRigidBox(Number(args, 0), Number(args, 1));
    return MetaValue::None();
}

MetaValue GetAngularVelocity(PhysicsBody& body, MetaArgs&) {
    return MetaValue(static_cast<double>(body.angularVelocity));
}

MetaValue GetGhost(PhysicsBody& body, MetaArgs&) {
    return MetaValue(body.ghost);
}

MetaValue GetLayer(PhysicsBody& body, MetaArgs&) {
    return MetaValue(static_cast<int>(body.layer));
}

MetaValue GetMass(PhysicsBody& body, MetaArgs&) {
    return MetaValue(static_cast<double>(body.mass));
}

MetaValue GetPosX(PhysicsBody& body, MetaArgs&) {
    return MetaValue(static_cast<double>(body.GetPosition().x));
}

MetaValue GetPosY(PhysicsBody& body, MetaArgs&) {
    return MetaValue(static_cast<double>(body.GetPosition().y));
}

MetaValue GetSpeed(PhysicsBody& body, MetaArgs&) {
    return MetaValue(static_cast<double>(body.speed));
}

MetaValue GetVelX(PhysicsBody& body, MetaArgs&) {
    return MetaValue(static_cast<double>(body.GetVelocity().x));
}

MetaValue GetVelY(PhysicsBody& body, MetaArgs&) {
    return MetaValue(static_cast<double>(body.GetVelocity().y));
}

MetaValue RemoveFromCollisionList(PhysicsBody& body, MetaArgs& args) {
    body.RemoveFromCollisionList(Integer(args, 0));
    return MetaValue::None();
}

MetaValue SetAngularVelocity(PhysicsBody& body, MetaArgs& args) {
    body.SetAngularVelocity(Number(args, 0));
    return MetaValue::None();
}

MetaValue SetFixedAngle(PhysicsBody& body, MetaArgs& args) {
    body.fixedAngle = GetArgument(args, 0).ToChar() != 0;
    return MetaValue::None();
}

MetaValue SetGrav(PhysicsBody& body, MetaArgs& args) {
    body.gravity = Vec2(Number(args, 0), Number(args, 1));
    return MetaValue::None();
}

MetaValue SetGravityDefault(PhysicsBody& body, MetaArgs&) {
    body.gravity = PhysicsBody::kDefaultGravity;
    return MetaValue::None();
}

MetaValue SetGhost(PhysicsBody& body, MetaArgs& args) {
    body.ghost = GetArgument(args, 0).ToChar() != 0;
    return MetaValue::None();
}

MetaValue SetLayer(PhysicsBody& body, MetaArgs& args) {
    body.layer = Integer(args, 0);
    return MetaValue::None();
}

MetaValue SetMass(PhysicsBody& body, MetaArgs& args) {
    body.SetMass(Number(args, 0));
    return MetaValue::None();
}

MetaValue SetVelX(PhysicsBody& body, MetaArgs& args) {
    body.SetVelX(Number(args, 0));
    return MetaValue::None();
}

MetaValue SetVelY(PhysicsBody& body, MetaArgs& args) {
    body.SetVelY(Number(args, 0));
    return MetaValue::None();
}

MetaValue SetOrientation(PhysicsBody& body, MetaArgs& args) {
    if (body.FindTransform()) body.SetRotation(Number(args, 0));
    return MetaValue::None();
}

MetaValue SetBounciness(PhysicsBody& body, MetaArgs& args) {
    body.bounciness = Number(args, 0);
    return MetaValue::None();
}

}  // namespace PhysicsBodyMethods

void PhysicsBody::RegisterMethods() {
    using System::Method;
    using Meta = System::MetaData<PhysicsBody>;
    Meta::AddMethod("AddToCollisionList",
                    Method<PhysicsBody, PhysicsBodyMethods::AddToCollisionList>);
    Meta::AddMethod("CompareDistance", Method<PhysicsBody, PhysicsBodyMethods::CompareDistance>);
    Meta::AddMethod("CreateBox", Method<PhysicsBody, PhysicsBodyMethods::CreateBox>);
    Meta::AddMethod("CreateForce", Method<PhysicsBody, PhysicsBodyMethods::CreateForce>);
    Meta::AddMethod("CreateNormalForce",
                    Method<PhysicsBody, PhysicsBodyMethods::CreateNormalForce>);
    Meta::AddMethod("CreateRigidBox", Method<PhysicsBody, PhysicsBodyMethods::CreateRigidBox>);
    Meta::AddMethod("GetAngularVelocity",
                    Method<PhysicsBody, PhysicsBodyMethods::GetAngularVelocity>);
    Meta::AddMethod("GetGhost", Method<PhysicsBody, PhysicsBodyMethods::GetGhost>);
    Meta::AddMethod("GetLayer", Method<PhysicsBody, PhysicsBodyMethods::GetLayer>);
    Meta::AddMethod("GetMass", Method<PhysicsBody, PhysicsBodyMethods::GetMass>);
    Meta::AddMethod("GetPosX", Method<PhysicsBody, PhysicsBodyMethods::GetPosX>);
    Meta::AddMethod("GetPosY", Method<PhysicsBody, PhysicsBodyMethods::GetPosY>);
    Meta::AddMethod("GetSpeed", Method<PhysicsBody, PhysicsBodyMethods::GetSpeed>);
    Meta::AddMethod("GetVelX", Method<PhysicsBody, PhysicsBodyMethods::GetVelX>);
    Meta::AddMethod("GetVelY", Method<PhysicsBody, PhysicsBodyMethods::GetVelY>);
    Meta::AddMethod("RemoveFromCollisionList",
                    Method<PhysicsBody, PhysicsBodyMethods::RemoveFromCollisionList>);
    Meta::AddMethod("SetAngularVelocity",
                    Method<PhysicsBody, PhysicsBodyMethods::SetAngularVelocity>);
    Meta::AddMethod("SetFixedAngle", Method<PhysicsBody, PhysicsBodyMethods::SetFixedAngle>);
    Meta::AddMethod("SetGrav", Method<PhysicsBody, PhysicsBodyMethods::SetGrav>);
    Meta::AddMethod("SetGravityDefault",
                    Method<PhysicsBody, PhysicsBodyMethods::SetGravityDefault>);
    Meta::AddMethod("SetGhost", Method<PhysicsBody, PhysicsBodyMethods::SetGhost>);
    Meta::AddMethod("SetLayer", Method<PhysicsBody, PhysicsBodyMethods::SetLayer>);
    Meta::AddMethod("SetMass", Method<PhysicsBody, PhysicsBodyMethods::SetMass>);
    Meta::AddMethod("SetVelX", Method<PhysicsBody, PhysicsBodyMethods::SetVelX>);
    Meta::AddMethod("SetVelY", Method<PhysicsBody, PhysicsBodyMethods::SetVelY>);
    Meta::AddMethod("SetOrientation", Method<PhysicsBody, PhysicsBodyMethods::SetOrientation>);
    Meta::AddMethod("SetBounciness", Method<PhysicsBody, PhysicsBodyMethods::SetBounciness>);
}

int PhysicsBody::LuaNew(lua_State* L) {
    return System::LuaNewDefault<PhysicsBody>(L);
}
