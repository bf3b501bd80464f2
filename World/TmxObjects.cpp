// The map objects of a TMX level: each `object` element becomes a LuaObject
// placed and sized by its attributes (y flipped), with a physics box, an
// optional texture, and the settings of its own and its group's properties.
#include <tinyxml2.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "System/Source/Components/Factories.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/DataNode.h"
#include "System/Source/MemoryPool.h"
#include "World/GraphicsComponent.h"
#include "World/LuaComponent.h"
#include "World/PhysicsBody.h"
#include "World/TextureComponent.h"
#include "World/TmxReader.h"
#include "World/Transform.h"

namespace Tmx {

namespace {

using System::GenericGameObject;
using Values = std::vector<std::string>;

constexpr float kFriction = 0.8f;
constexpr float kBounciness = 0.1f;

// ---- Checked conversions of the texts of a file ----

// Leading decimal digits as an int; no number reads as 0, out-of-range
// values saturate.
int TextToInt(const std::string& text) {
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(start, &end, 10);
    if (end == start) return 0;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// A leading decimal number; no number, and anything not finite, reads as 0.
double TextToDouble(const std::string& text) {
    const char* start = text.c_str();
    char* end = nullptr;
    double value = std::strtod(start, &end);
    if (end == start || !std::isfinite(value)) return 0.0;
    return value;
}

float TextToFloat(const std::string& text) {
    return SafeDoubleToFloat(TextToDouble(text));
}

std::string UpperCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// ---- The object's components (looked up at each use: scripts run while
// the object is being read and may remove any of them) ----

template <class C>
C* Find(GenericGameObject& object, const char* className) {
    return dynamic_cast<C*>(object.GetComponent(className));
}
Transform* TransformOf(GenericGameObject& object) {
    return Find<Transform>(object, "Transform");
}
GraphicsComponent* GraphicsOf(GenericGameObject& object) {
    return Find<GraphicsComponent>(object, "GraphicsComponent");
}
TextureComponent* TextureOf(GenericGameObject& object) {
    return Find<TextureComponent>(object, "TextureComponent");
}
LuaComponent* ScriptsOf(GenericGameObject& object) {
    return Find<LuaComponent>(object, "LuaComponent");
}
PhysicsBody* BodyOf(GenericGameObject& object) {
    return Find<PhysicsBody>(object, "PhysicsBody");
}

// Adds (or re-enables) a graphics component when the object has no active
// one, then a texture component; the texture component, or null.
TextureComponent* AddTexture(GenericGameObject& object) {
    if (!GraphicsOf(object)) object.AddComponent("GraphicsComponent");
    object.AddComponent("TextureComponent");
    return TextureOf(object);
}

// ---- Object types ----

void MakeWall(GenericGameObject& object) {
    if (PhysicsBody* body = BodyOf(object)) {
        if (Transform* transform = TransformOf(object)) {
            body->FindTransform();
            body->SetPosition(transform->x, transform->y);
            body->CreateBox(transform->scaleX, transform->scaleY);
        }
        body->SetMass(0.0f);
        body->bounciness = kBounciness;
        body->gravity = Vec2(0.0f, 0.0f);
    }
    // An untextured wall is invisible.
    if (!TextureOf(object)) object.RemoveComponent("GraphicsComponent");
}

void MakeAi(GenericGameObject& object) {
    // Each script is looked up afresh: the init script may remove the
    // component it runs from.
    if (LuaComponent* scripts = ScriptsOf(object)) scripts->SetInitScript("MegaAI/MegaAI_Init.lua");
    if (LuaComponent* scripts = ScriptsOf(object)) {
        scripts->SetUpdateScript("MegaAI/MegaAI_Update.lua");
    }
    if (LuaComponent* scripts = ScriptsOf(object)) {
        scripts->SetMessageScript("MegaAI/MegaAI_Message.lua");
    }
}

// Matching ignores case; unknown types do nothing.
void ApplyObjectType(GenericGameObject& object, const std::string& type) {
    const std::string upper = UpperCase(type);
    if (upper == "WALL") {
        MakeWall(object);
    } else if (upper == "AI") {
        MakeAi(object);
    }
}

// ---- Object properties; each handler gets at least one value ----

void SetInit(GenericGameObject& object, const Values& v) {
    if (LuaComponent* scripts = ScriptsOf(object)) scripts->SetInitScript(v[0].c_str());
}
void SetUpdate(GenericGameObject& object, const Values& v) {
    if (LuaComponent* scripts = ScriptsOf(object)) scripts->SetUpdateScript(v[0].c_str());
}
void SetMessage(GenericGameObject& object, const Values& v) {
    if (LuaComponent* scripts = ScriptsOf(object)) scripts->SetMessageScript(v[0].c_str());
}

void SetColor(GenericGameObject& object, const Values& v) {
    GraphicsComponent* graphics = GraphicsOf(object);
    if (!graphics) return;
    // A missing channel reads as 0; each channel keeps its low byte.
    auto channel = [&](size_t i) {
        return static_cast<uint8_t>(i < v.size() ? static_cast<unsigned>(TextToInt(v[i])) : 0u);
    };
    graphics->SetColor(Color(channel(0), channel(1), channel(2), channel(3)));
}

void SetMass(GenericGameObject& object, const Values& v) {
    if (PhysicsBody* body = BodyOf(object)) body->SetMass(TextToFloat(v[0]));
}

void SetShape(GenericGameObject& object, const Values& v) {
    if (v[0] != "Rigid") return;
    PhysicsBody* body = BodyOf(object);
    Transform* transform = TransformOf(object);
    if (body && transform) body->CreateRigidBox(transform->scaleX, transform->scaleY);
}

void SetType(GenericGameObject& object, const Values& v) {
    ApplyObjectType(object, v[0]);
}

void SetGhost(GenericGameObject& object, const Values& v) {
    if (PhysicsBody* body = BodyOf(object)) body->ghost = TextToInt(v[0]) != 0;
}

void SetHidden(GenericGameObject& object, const Values& v) {
    if (TextToInt(v[0]) != 1) return;
    if (GraphicsComponent* graphics = GraphicsOf(object)) {
        graphics->SetColor(Color(0, 0, 0, 0));
        graphics->outline = 1;
    }
    if (PhysicsBody* body = BodyOf(object)) {
        body->ghost = true;
        body->gravity = Vec2(0.0f, 0.0f);
        body->SetMass(0.0f);
        body->layer = 1;
    }
}

void SetLayer(GenericGameObject& object, const Values& v) {
    if (PhysicsBody* body = BodyOf(object)) body->layer = TextToInt(v[0]);
}

void SetDrawLayer(GenericGameObject& object, const Values& v) {
    if (GraphicsComponent* graphics = GraphicsOf(object)) graphics->layer = TextToInt(v[0]);
}

void SetCollisionList(GenericGameObject& object, const Values& v) {
    PhysicsBody* body = BodyOf(object);
    if (!body) return;
    for (const std::string& value : v) body->AddToCollisionList(TextToInt(value));
}

void SetBounciness(GenericGameObject& object, const Values& v) {
    if (PhysicsBody* body = BodyOf(object)) body->bounciness = TextToFloat(v[0]);
}

void SetTexture(GenericGameObject& object, const Values& v) {
    TextureComponent* texture = AddTexture(object);
    if (!texture) return;
    texture->SetTexture(v[0].c_str());
    texture->flip = v.size() >= 2 && TextToInt(v[1]) != 0;
}

void SetFlip(GenericGameObject& object, const Values& v) {
    if (TextureComponent* texture = TextureOf(object)) texture->flip = TextToInt(v[0]) != 0;
}

void SetName(GenericGameObject& object, const Values& v) {
    object.SetName(v[0].c_str());
}

void ShowGame(GenericGameObject& object, const Values&) {
    if (!TextureOf(object)) object.AddComponent("TextureComponent");
    if (TextureComponent* texture = TextureOf(object)) texture->SetTextureLayer(0);
    if (GraphicsComponent* graphics = GraphicsOf(object)) graphics->SetGraphicsLayer(1);
}

void SetGraphicsLayer(GenericGameObject& object, const Values& v) {
    if (GraphicsComponent* graphics = GraphicsOf(object)) {
        graphics->SetGraphicsLayer(TextToInt(v[0]));
    }
}

void SetGravityY(GenericGameObject& object, const Values& v) {
    if (PhysicsBody* body = BodyOf(object)) body->gravity = Vec2(0.0f, TextToFloat(v[0]));
}

struct KeyHandler {
    const char* key;  // upper case
    void (*apply)(GenericGameObject& object, const Values& values);
};

// Keys are compared upper-cased, so every key matches in any case (the
// graphics layer key too, however it is written).
constexpr KeyHandler kKeys[] = {
    {"INIT", SetInit},
    {"UPDATE", SetUpdate},
    {"MESSAGE", SetMessage},
    {"COLOR", SetColor},
    {"MASS", SetMass},
    {"SHAPE", SetShape},
    {"TYPE", SetType},
    {"GHOST", SetGhost},
    {"HIDDEN", SetHidden},
    {"LAYER", SetLayer},
    {"GLAYER", SetDrawLayer},
    {"COLLISIONLIST", SetCollisionList},
    {"BOUNCINESS", SetBounciness},
    {"TEXTURE", SetTexture},
    {"FLIP", SetFlip},
    {"NAME", SetName},
    {"RENDERGAME", ShowGame},
    {"GRAPHICSLAYER", SetGraphicsLayer},
    {"GRAVY", SetGravityY},
};

// ---- Properties of the object itself ----

// A copy of the text in a pool block, owned by the property that holds it.
const char* CopyText(const std::string& text) {
    auto* copy = static_cast<char*>(System::PoolNew(text.size() + 1));
    if (copy) std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

// A value block of type T in the pool, owned by the property that holds it.
template <class T>
T* NewValue(T value) {
    auto* block = static_cast<T*>(System::PoolNew(sizeof(T)));
    if (block) *block = value;
    return block;
}

// The value the file gives a property that is not a text, as a number.
double NumberOf(const std::string& text) {
    switch (ClassifyValue(text)) {
        case kDataBool:
            return ParseBool(text) ? 1.0 : 0.0;
        case kDataInt:
            return TextToInt(text);
        default:
            return TextToDouble(text);
    }
}

// Writes the value into an existing property, converted to the property's
// own type.
void ReplaceProperty(GenericGameObject& object, const std::string& name, const MetaValue& property,
                     const std::string& text, const std::string& path) {
    using Ownership = System::MetaBase::Ownership;
    void* field = property.payload.p;
    if (property.IsType<const char*>()) {
        const char* copy = CopyText(text);
        if (copy &&
            object.ReplaceDynamicProperty(name.c_str(), MetaValue(copy), Ownership::Block)) {
            return;
        }
    } else if (field && property.IsType<int*>()) {
        *static_cast<int*>(field) = SafeDoubleToInt(NumberOf(text));
        return;
    } else if (field && property.IsType<float*>()) {
        *static_cast<float*>(field) = SafeDoubleToFloat(NumberOf(text));
        return;
    } else if (field && property.IsType<double*>()) {
        *static_cast<double*>(field) = NumberOf(text);
        return;
    } else if (field && property.IsType<bool*>()) {
        *static_cast<bool*>(field) = NumberOf(text) != 0.0;
        return;
    } else if (field && property.IsType<char*>()) {
        *static_cast<char*>(field) =
            static_cast<char>(static_cast<uint32_t>(SafeDoubleToInt(NumberOf(text))) & 0xFFu);
        return;
    }
    Report(path, "property " + name + " of " + object.GetName() + " cannot take the value " + text);
}

// A property the tables do not name: the first value, kept in the type its
// text reads as, under the name as written.
void ApplyDynamicProperty(GenericGameObject& object, const Property& property,
                          const std::string& path) {
    using Ownership = System::MetaBase::Ownership;
    const std::string& text = property.values[0];
    if (const MetaValue* existing = object.FindProperty(property.name.c_str())) {
        ReplaceProperty(object, property.name, *existing, text, path);
        return;
    }
    MetaValue value;
    switch (ClassifyValue(text)) {
        case kDataInt:
            value = MetaValue(NewValue<int>(TextToInt(text)));
            break;
        case kDataFloat:
            value = MetaValue(NewValue<float>(TextToFloat(text)));
            break;
        case kDataBool:
            value = MetaValue(NewValue<bool>(ParseBool(text)));
            break;
        default:
            value = MetaValue(CopyText(text));
            break;
    }
    if (!value.payload.p) {
        Report(path, "no memory for property " + property.name);
        return;
    }
    object.AddDynamicProperty(property.name.c_str(), value, Ownership::Block);
}

void ApplyProperty(GenericGameObject& object, const Property& property, const std::string& path) {
    // Every key reads its first value; without one there is nothing to set.
    if (!object.IsAlive() || property.values.empty()) return;
    const std::string key = UpperCase(property.name);
    for (const KeyHandler& handler : kKeys) {
        if (key == handler.key) {
            handler.apply(object, property.values);
            return;
        }
    }
    ApplyDynamicProperty(object, property, path);
}

// ---- Placement ----

// The centre of the object's box in world coordinates: the map's y axis
// points down, the world's up. Halves truncate toward zero.
void PlaceObject(GenericGameObject& object, int x, int y, int width, int height) {
    const float cx = static_cast<float>(int64_t(x) + width / 2);
    const float cy = static_cast<float>(-int64_t(y) - height / 2);
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    if (Transform* transform = TransformOf(object)) {
        transform->x = cx;
        transform->y = cy;
        transform->scaleX = w;
        transform->scaleY = h;
    }
    if (PhysicsBody* body = BodyOf(object)) {
        body->FindTransform();
        body->SetPosition(cx, cy);
        body->CreateBox(w, h);
        body->friction = kFriction;
        body->layer = -1;
        body->gravity = PhysicsBody::kDefaultGravity;
        body->bounciness = kBounciness;
    }
}

// The "points" of a polyline: pairs "x,y" separated by spaces; a text
// without a comma is no pair.
std::vector<Vec2> ReadPoints(const char* text) {
    std::vector<Vec2> points;
    if (!text) return points;
    std::string all(text);
    size_t start = 0;
    while (start <= all.size()) {
        size_t space = all.find(' ', start);
        if (space == std::string::npos) space = all.size();
        std::string pair = all.substr(start, space - start);
        size_t comma = pair.find(',');
        if (comma != std::string::npos) {
            points.emplace_back(TextToFloat(pair.substr(0, comma)),
                                TextToFloat(pair.substr(comma + 1)));
        }
        start = space + 1;
    }
    return points;
}

// The body becomes a static polygon around the mean of the points, and the
// object sits at that mean.
void ApplyPolyline(GenericGameObject& object, const char* pointsText) {
    std::vector<Vec2> points = ReadPoints(pointsText);
    if (points.empty()) return;
    double sumX = 0.0;
    double sumY = 0.0;
    for (const Vec2& p : points) {
        sumX += p.x;
        sumY += p.y;
    }
    const float mx = static_cast<float>(sumX / double(points.size()));
    const float my = static_cast<float>(sumY / double(points.size()));
    for (Vec2& p : points) p = Vec2(p.x - mx, -(p.y - my));

    Transform* transform = TransformOf(object);
    if (!transform) return;
    transform->scaleX = mx;
    transform->scaleY = my;
    const float x = transform->x + mx;
    const float y = transform->y - my;
    if (PhysicsBody* body = BodyOf(object)) {
        body->FindTransform();
        body->SetPosition(x, y);
        body->CreateRigid(points.data(), static_cast<int>(points.size()));
    } else {
        transform->x = x;
        transform->y = y;
    }
}

}  // namespace

void CreateMapObject(const tinyxml2::XMLElement& element,
                     const std::vector<Property>& groupProperties, const std::string& path) {
    GenericGameObject* object = CreateObject("LuaObject");
    if (!object) {
        Report(path, "map object could not be made");
        return;
    }
    int width = ReadInt(element, "width", 0);
    int height = ReadInt(element, "height", 0);
    if (width == 0) width = 1;
    if (height == 0) height = 1;
    PlaceObject(*object, ReadInt(element, "x", 0), ReadInt(element, "y", 0), width, height);

    if (const char* image = element.Attribute("image")) {
        if (TextureComponent* texture = AddTexture(*object)) texture->SetTexture(image);
    }
    if (const char* type = element.Attribute("type")) ApplyObjectType(*object, type);

    if (const tinyxml2::XMLElement* properties = element.FirstChildElement("properties")) {
        for (const tinyxml2::XMLElement* p = properties->FirstChildElement(); p;
             p = p->NextSiblingElement()) {
            ApplyProperty(*object, ReadProperty(*p), path);
        }
    }
    for (const Property& property : groupProperties) ApplyProperty(*object, property, path);

    if (const tinyxml2::XMLElement* polyline = element.FirstChildElement("polyline")) {
        ApplyPolyline(*object, polyline->Attribute("points"));
    }
}

}  // namespace Tmx
