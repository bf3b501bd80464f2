#include "World/Level.h"

#include "Graphics/Camera.h"
#include "System/Source/Components/LiveRegistry.h"

namespace {

struct LevelTypeNode {
    LevelTypeNode* next;
    LevelTypeRegistry::Creator create;
    std::string name;
};

// Registered before the pool exists; lives for the whole process.
LevelTypeNode* g_levelTypes = nullptr;

const LevelTypeNode* FindType(const std::string& name) {
    for (const LevelTypeNode* node = g_levelTypes; node; node = node->next) {
        if (node->name == name) return node;
    }
    return nullptr;
}

MetaValue LevelHasProperty(Level& level, System::MetaArgs& args) {
    return MetaValue(level.HasProperty(System::GetArgument(args, 0).ToString()));
}

void ResetCurrentCamera() {
    if (!CurrentCamera) return;
    CurrentCamera->lowerX = -2147483648.0f;
    CurrentCamera->lowerY = -2147483648.0f;
    CurrentCamera->upperX = 2147483648.0f;
    CurrentCamera->upperY = 2147483648.0f;
    CurrentCamera->zoom = 1.0f;
    CurrentCamera->shakenX = 0.0f;
    CurrentCamera->shakenY = 0.0f;
}

}  // namespace

bool IsLiveLevel(const System::MetaBase* object) {
    return System::LiveRegistry::Of<Level>().Has(object);
}

Level::Level() {
    System::LiveRegistry::Of<Level>().Join(this);
    ResetCurrentCamera();
}

Level::~Level() {
    System::LiveRegistry::Of<Level>().Leave(this);
}

void Level::Update(float) {}
void Level::Draw() {}
void Level::Load(std::string) {}

Level* Level::Create() {
    return new Level();
}

void Level::RegisterMethods() {
    AddMethod("HasProperty", System::Method<Level, LevelHasProperty>);
}

namespace LevelTypeRegistry {

void Register(Creator create, const std::string& name) {
    g_levelTypes = new LevelTypeNode{g_levelTypes, create, name};
}

Level* Create(const std::string& name) {
    const LevelTypeNode* node = FindType(name);
    return node ? node->create() : nullptr;
}

bool Exists(const std::string& name) {
    return FindType(name) != nullptr;
}

void GetNames(std::vector<std::string>& names) {
    for (const LevelTypeNode* node = g_levelTypes; node; node = node->next)
        names.push_back(node->name);
}

}  // namespace LevelTypeRegistry
