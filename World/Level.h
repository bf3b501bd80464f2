// Levels and the registry of level types.
#pragma once

#include <string>
#include <vector>

#include "System/Source/Components/Meta.h"

// Whether `object` is a level not yet deleted. Reads nothing behind the
// pointer: scripts keep a level past the state change that deletes it.
bool IsLiveLevel(const System::MetaBase* object);

class Level : public System::MetaData<Level> {
public:
    Level();
    ~Level() override;
    System::LivenessTest GetLivenessTest() const override { return IsLiveLevel; }

    virtual void Update(float dt);
    virtual void Draw();
    virtual void Load(std::string levelName);

    static Level* Create();
    static void RegisterMethods();
};

// Level types by name: a list linked at the head, so a later registration
// of a name wins and walks run from the newest entry.
namespace LevelTypeRegistry {
using Creator = Level* (*)();
void Register(Creator create, const std::string& name);
// A new level of that type, or null when no such type is registered.
Level* Create(const std::string& name);
bool Exists(const std::string& name);
// Appends every registered name, newest first.
void GetNames(std::vector<std::string>& names);
}  // namespace LevelTypeRegistry
