// Until physics bodies exist, no body reports a shape.
#include "World/GraphicsComponent.h"

__attribute__((weak)) BodyShape BodyShapeKind(System::GenericComponent* body) {
    return body ? BodyShape::Plain : BodyShape::None;
}
