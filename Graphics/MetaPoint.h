// A reflected two-float point (the camera's position; scripts make their own).
#pragma once

#include "System/Source/Components/Meta.h"

class MetaPoint : public System::MetaData<MetaPoint> {
public:
    MetaPoint(float px, float py);
    ~MetaPoint() override = default;

    float x;
    float y;
};
