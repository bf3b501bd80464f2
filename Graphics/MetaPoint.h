// A reflected two-float point (the camera's position; scripts make their own).
#pragma once

#include "System/Source/Components/Meta.h"

struct lua_State;

// Whether `object` is a point not yet deleted. Reads nothing behind the
// pointer: a property can keep a point that Lua has freed since.
bool IsLiveMetaPoint(const System::MetaBase* object);

class MetaPoint : public System::MetaData<MetaPoint> {
public:
    MetaPoint(float px, float py);
    ~MetaPoint() override;
    System::LivenessTest GetLivenessTest() const override { return IsLiveMetaPoint; }

    // "new" of the class table: a point at (0, 0) that Lua never frees.
    static int LuaNew(lua_State* L);
    // The Lua global function MetaPoint(x, y): a point that Lua owns and
    // deletes when it collects the userdata. Properties read only.
    static int LuaCreate(lua_State* L);

    float x;
    float y;
};
