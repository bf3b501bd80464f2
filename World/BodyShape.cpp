// The shape of an object's body, as its graphics component draws it.
#include "World/GraphicsComponent.h"
#include "World/PhysicsBody.h"
#include "World/Shapes.h"

BodyShape BodyShapeKind(System::GenericComponent* body) {
    PhysicsBody* physics = body ? dynamic_cast<PhysicsBody*>(body) : nullptr;
    if (!physics) return BodyShape::None;
    switch (physics->ShapeType()) {
        case kShapeBox:
            return BodyShape::Box;
        case kShapeCircle:
            return BodyShape::Circle;
        case kShapeBoundary:
            return BodyShape::Boundary;
        case kShapeRigid:
            return BodyShape::Rigid;
        default:
            return BodyShape::Plain;
    }
}
