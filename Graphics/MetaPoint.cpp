#include "Graphics/MetaPoint.h"

#include "System/Source/Components/LiveRegistry.h"

bool IsLiveMetaPoint(const System::MetaBase* object) {
    return System::LiveRegistry::Of<MetaPoint>().Has(object);
}

MetaPoint::MetaPoint(float px, float py) : x(px), y(py) {
    System::LiveRegistry::Of<MetaPoint>().Join(this);
    AddProperty("x", MetaValue(&x));
    AddProperty("y", MetaValue(&y));
}

MetaPoint::~MetaPoint() {
    System::LiveRegistry::Of<MetaPoint>().Leave(this);
}
