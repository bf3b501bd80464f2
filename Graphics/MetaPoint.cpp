#include "Graphics/MetaPoint.h"

#include "System/Source/Components/LiveRegistry.h"

namespace {
// On the ordinary heap and never freed: it outlives every pool.
System::LiveRegistry& LivePoints() {
    static auto* live = new System::LiveRegistry;
    return *live;
}
}  // namespace

bool IsLiveMetaPoint(const System::MetaBase* object) {
    return LivePoints().Has(object);
}

MetaPoint::MetaPoint(float px, float py) : x(px), y(py) {
    LivePoints().Join(this);
    AddProperty("x", MetaValue(&x));
    AddProperty("y", MetaValue(&y));
}

MetaPoint::~MetaPoint() {
    LivePoints().Leave(this);
}
