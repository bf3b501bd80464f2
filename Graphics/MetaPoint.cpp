#include "Graphics/MetaPoint.h"

MetaPoint::MetaPoint(float px, float py) : x(px), y(py) {
    AddProperty("x", MetaValue(&x));
    AddProperty("y", MetaValue(&y));
}
