// TEMPORARY, until the component classes are in the tree: a map object only
// becomes a "LuaObject". World/TmxObjects.cpp holds the real reader of
// objects; delete this file when it is built.
#include "System/Source/Components/Factories.h"
#include "World/TmxReader.h"

namespace Tmx {

void CreateMapObject(const TiXmlElement&, const std::vector<Property>&) {
    CreateObject("LuaObject");
}

}  // namespace Tmx
