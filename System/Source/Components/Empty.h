// The placeholder object: no fields of its own. Scripts get one from the
// "new" of the class table "empty"; it reports "class System::empty", for
// which no class table exists, so it reaches Lua without a metatable.
#pragma once

#include "System/Source/Components/Meta.h"

namespace System {
class empty : public MetaData<System::empty> {};
}  // namespace System

struct empty : public System::empty {};
