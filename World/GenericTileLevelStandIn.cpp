// STAND-IN for the game world's tile level: loading a map only runs the
// start-of-level script. The TMX reader and the tile layer replace this file.
#include "System/Source/LuaState.h"
#include "World/GenericTileLevel.h"

void GenericTileLevel::Update(float) {}
void GenericTileLevel::Draw() {}
void GenericTileLevel::Load(std::string) { RunStartOfLevelScript(); }

Level* GenericTileLevel::Create() { return new GenericTileLevel(); }

void GenericTileLevel::RegisterMethods() { System::MetaData<GenericTileLevel>::SetParent<Level>(); }
