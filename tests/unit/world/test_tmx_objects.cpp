// Map objects of TMX levels: placement with the map's y axis flipped, the
// physics box, object types, the object and group properties, dynamic
// properties and polylines, read from maps the tests write.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Graphics/RenderTarget.h"
#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/Components/ObjectTables.h"
#include "World/GenericTileLevel.h"
#include "World/GraphicsComponent.h"
#include "World/LuaComponent.h"
#include "World/PhysicsBody.h"
#include "World/TextureComponent.h"
#include "World/TmxReader.h"
#include "World/Transform.h"
#include "engine_fixture.h"

namespace {

using System::GenericGameObject;
using TestSupport::CaptureStdout;

class TmxObjects : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        InitLua();
    }
    void TearDown() override {
        delete level;
        level = nullptr;
        EngineFixture::TearDown();
    }

    // Loads a map with one object group holding `objects` (and the group's
    // own properties); returns what was printed.
    std::string LoadObjects(const std::string& objects, const std::string& groupProperties = "") {
        std::string group = "<objectgroup name=\"g\">\n";
        if (!groupProperties.empty()) group += "<properties>" + groupProperties + "</properties>\n";
        group += objects + "</objectgroup>\n";
        dir.Write("Resources/Levels/objects.tmx",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.0\">\n" + group +
                      "</map>\n");
        delete level;
        level = new GenericTileLevel();
        return CaptureStdout([&] { Tmx::LoadLevel(*level, "objects.tmx"); });
    }

    static std::string Prop(const std::string& name, const std::string& value) {
        return "<property name=\"" + name + "\" value=\"" + value + "\"/>";
    }
    static std::string Object(const std::string& attributes, const std::string& properties = "",
                              const std::string& inside = "") {
        std::string text = "<object " + attributes + ">";
        if (!properties.empty()) text += "<properties>" + properties + "</properties>";
        return text + inside + "</object>\n";
    }

    GenericGameObject* Get(int id) {
        GenericGameObject* object = GetObjectEntry(id);
        EXPECT_NE(object, nullptr) << "object " << id;
        return object;
    }
    template <class C>
    C* Part(int id, const char* name) {
        GenericGameObject* object = Get(id);
        return object ? dynamic_cast<C*>(object->GetComponent(name)) : nullptr;
    }
    Transform* TransformOf(int id) { return Part<Transform>(id, "Transform"); }
    PhysicsBody* BodyOf(int id) { return Part<PhysicsBody>(id, "PhysicsBody"); }
    GraphicsComponent* GraphicsOf(int id) {
        return Part<GraphicsComponent>(id, "GraphicsComponent");
    }
    TextureComponent* TextureOf(int id) { return Part<TextureComponent>(id, "TextureComponent"); }
    LuaComponent* ScriptsOf(int id) { return Part<LuaComponent>(id, "LuaComponent"); }

    void ExpectCentre(int id, float x, float y, float w, float h) {
        Transform* t = TransformOf(id);
        ASSERT_NE(t, nullptr);
        EXPECT_FLOAT_EQ(t->x, x) << "object " << id;
        EXPECT_FLOAT_EQ(t->y, y) << "object " << id;
        EXPECT_FLOAT_EQ(t->scaleX, w) << "object " << id;
        EXPECT_FLOAT_EQ(t->scaleY, h) << "object " << id;
    }

    GenericTileLevel* level = nullptr;
};

TEST_F(TmxObjects, ObjectsAreCentredWithYFlippedAndGetABox) {
    std::string printed = LoadObjects(
        Object("x=\"0\" y=\"0\" width=\"32\" height=\"16\" name=\"ignored\"") +
        Object("x=\"0\" y=\"0\" width=\"3\" height=\"5\"") + Object("x=\"40\" y=\"24\"") +
        Object("x=\"12.9\" y=\"-7\" width=\"abc\" height=\"4\"") +
        Object("x=\"99999999999\" y=\"-99999999999\" width=\"-99999999999\" height=\"3\""));
    EXPECT_EQ(printed, "");
    ASSERT_EQ(GetObjectCount(), 5);
    ExpectCentre(0, 16, -8, 32, 16);
    ExpectCentre(1, 1, -2, 3, 5);
    // No size gives a 1 x 1 box at (x, -y).
    ExpectCentre(2, 40, -24, 1, 1);
    // Decimals are cut, a malformed width reads as 0 and becomes 1.
    ExpectCentre(3, 12, 5, 1, 4);
    // Out-of-range numbers saturate instead of overflowing.
    Transform* far = TransformOf(4);
    ASSERT_NE(far, nullptr);
    EXPECT_FLOAT_EQ(far->x, float(int64_t(INT_MAX) + INT_MIN / 2));
    EXPECT_FLOAT_EQ(far->y, float(-int64_t(INT_MIN) - 1));

    EXPECT_STREQ(Get(0)->GetName(), "LuaObject");
    PhysicsBody* body = BodyOf(0);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->ShapeType(), kShapeBox);
    EXPECT_FLOAT_EQ(body->mass, 512.0f);
    EXPECT_FLOAT_EQ(body->friction, 0.8f);
    EXPECT_FLOAT_EQ(body->bounciness, 0.1f);
    EXPECT_EQ(body->layer, -1);
    EXPECT_FLOAT_EQ(body->gravity.y, -490.0f);
    EXPECT_FLOAT_EQ(body->GetPosition().x, 16.0f);
    EXPECT_FLOAT_EQ(body->GetPosition().y, -8.0f);
    // Nothing but the four components of a LuaObject.
    EXPECT_FALSE(Get(0)->HasComponent("TextureComponent"));
    EXPECT_EQ(Global("startCount"), 1.0);
}

TEST_F(TmxObjects, KeysSetBodyGraphicsAndTextureInAnyCase) {
    LoadObjects(
        Object("width=\"10\" height=\"20\"",
               Prop("mAsS", "7.5") + Prop("CollisionList", "2,5,2") + Prop("layer", "3") +
                   Prop("GLayer", "4") + Prop("color", "255,128,0,200") +
                   Prop("bounciness", "0.25") + Prop("GravY", "-12.5") + Prop("ghost", "1") +
                   Prop("Name", "Hero")) +
        Object("width=\"10\" height=\"20\"",
               Prop("SHAPE", "Rigid") + Prop("Texture", "hero.png,1") + Prop("Hidden", "1")) +
        Object("", Prop("SHAPE", "Blob") + Prop("FLIP", "1") + Prop("MASS", "") +
                       Prop("Color", "300,x") + Prop("HIDDEN", "2") + Prop("mass", "nan")) +
        Object("", Prop("Texture", "a.png") + Prop("flip", "1") + Prop("Texture", "b.png")));

    PhysicsBody* body = BodyOf(0);
    ASSERT_NE(body, nullptr);
    EXPECT_FLOAT_EQ(body->mass, 7.5f);
    EXPECT_FLOAT_EQ(body->invMass, 1.0f / 7.5f);
    ASSERT_EQ(body->collisionList.size(), 2u);
    EXPECT_EQ(body->collisionList[0], 2);
    EXPECT_EQ(body->collisionList[1], 5);
    EXPECT_EQ(body->layer, 3);
    EXPECT_FLOAT_EQ(body->bounciness, 0.25f);
    EXPECT_FLOAT_EQ(body->gravity.x, 0.0f);
    EXPECT_FLOAT_EQ(body->gravity.y, -12.5f);
    EXPECT_TRUE(body->ghost);
    GraphicsComponent* graphics = GraphicsOf(0);
    ASSERT_NE(graphics, nullptr);
    EXPECT_EQ(graphics->layer, 4);
    EXPECT_EQ(graphics->r, 255);
    EXPECT_EQ(graphics->g, 128);
    EXPECT_EQ(graphics->b, 0);
    EXPECT_EQ(graphics->a, 200);
    EXPECT_STREQ(Get(0)->GetName(), "Hero");

    // A rigid box of the Transform's size; a texture with its flip; hidden.
    body = BodyOf(1);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->ShapeType(), kShapeRigid);
    TextureComponent* texture = TextureOf(1);
    ASSERT_NE(texture, nullptr);
    EXPECT_TRUE(texture->flip);
    graphics = GraphicsOf(1);
    ASSERT_NE(graphics, nullptr);
    EXPECT_EQ(graphics->a, 0);
    EXPECT_EQ(graphics->outline, 1);
    EXPECT_TRUE(body->ghost);
    EXPECT_EQ(body->mass, 0.0f);
    EXPECT_EQ(body->invInertia, 0.0f);
    EXPECT_EQ(body->layer, 1);
    EXPECT_EQ(body->gravity.y, 0.0f);

    // An unknown shape keeps the box; FLIP without a texture, an empty value
    // and HIDDEN other than 1 change nothing; "nan" reads as 0; a short,
    // malformed colour reads its channels as 0 and keeps the low byte.
    body = BodyOf(2);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->ShapeType(), kShapeBox);
    EXPECT_FLOAT_EQ(body->mass, 0.0f);
    EXPECT_FALSE(body->ghost);
    EXPECT_FALSE(Get(2)->HasComponent("TextureComponent"));
    graphics = GraphicsOf(2);
    ASSERT_NE(graphics, nullptr);
    EXPECT_EQ(graphics->r, 300 & 0xFF);
    EXPECT_EQ(graphics->g, 0);
    EXPECT_EQ(graphics->a, 0);
    EXPECT_EQ(graphics->outline, 2);
    EXPECT_FALSE(Get(2)->HasProperty("MASS"));

    // A second texture without a flip value clears the flip.
    texture = TextureOf(3);
    ASSERT_NE(texture, nullptr);
    EXPECT_FALSE(texture->flip);
}

TEST_F(TmxObjects, GraphicsLayerKeyMatchesInAnyCase) {
    RenderTarget layer1;
    RenderTarget layer2;
    GraphicsLayerList.push_back(&layer1);
    GraphicsLayerList.push_back(&layer2);
    LoadObjects(Object("", Prop("GraphicsLayer", "2")) + Object("", Prop("GRAPHICSLAYER", "1")) +
                Object("", Prop("graphicslayer", "0")) + Object("", Prop("GraphicsLayer", "9")));
    GraphicsLayerList.clear();
    for (int id = 0; id < 4; ++id) ASSERT_NE(GraphicsOf(id), nullptr);
    EXPECT_EQ(GraphicsOf(0)->GetRenderTarget(), &layer2);
    EXPECT_EQ(GraphicsOf(1)->GetRenderTarget(), &layer1);
    EXPECT_EQ(GraphicsOf(2)->GetRenderTarget(), nullptr);
    EXPECT_EQ(GraphicsOf(3)->GetRenderTarget(), nullptr);
    EXPECT_FALSE(Get(0)->HasProperty("GraphicsLayer"));
}

TEST_F(TmxObjects, TypesMakeWallsAndAiInAnyCase) {
    dir.Write("Resources/Lua/MegaAI/MegaAI_Init.lua", "aiInits = (aiInits or 0) + 1\n");
    dir.Write("Resources/Lua/MegaAI/MegaAI_Update.lua", "");
    dir.Write("Resources/Lua/MegaAI/MegaAI_Message.lua", "");
    LoadObjects(Object("width=\"64\" height=\"32\" type=\"wall\"") +
                Object("width=\"8\" height=\"8\" type=\"Wall\" image=\"wall.png\"") +
                Object("", Prop("type", "AI")) + Object("type=\"Spaceship\""));

    PhysicsBody* body = BodyOf(0);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->ShapeType(), kShapeBox);
    EXPECT_EQ(body->mass, 0.0f);
    EXPECT_EQ(body->invMass, 0.0f);
    EXPECT_EQ(body->inertia, 0.0f);
    EXPECT_FLOAT_EQ(body->bounciness, 0.1f);
    EXPECT_EQ(body->gravity.y, 0.0f);
    ExpectCentre(0, 32, -16, 64, 32);
    // An untextured wall is invisible, a textured one is not.
    EXPECT_EQ(GraphicsOf(0), nullptr);
    EXPECT_EQ(Get(0)->GetGraphicsComponentId(), -1);
    EXPECT_NE(GraphicsOf(1), nullptr);
    EXPECT_NE(TextureOf(1), nullptr);

    LuaComponent* scripts = ScriptsOf(2);
    ASSERT_NE(scripts, nullptr);
    EXPECT_NE(scripts->GetInitScript(), LuaComponent::kNoScript);
    EXPECT_NE(scripts->GetUpdateScript(), LuaComponent::kNoScript);
    EXPECT_NE(scripts->GetMessageScript(), LuaComponent::kNoScript);
    EXPECT_EQ(Global("aiInits"), 1.0);
    // An unknown type does nothing.
    EXPECT_NE(GraphicsOf(3), nullptr);
    EXPECT_FLOAT_EQ(BodyOf(3)->gravity.y, -490.0f);
}

TEST_F(TmxObjects, ScriptsRunDuringTheLoadAndMissingOnesAreReported) {
    dir.Write("Resources/Lua/Obj/init.lua",
              "local obj = ...\ninitName = obj:GetName()\ninits = (inits or 0) + 1\n"
              "obj.power = 1\n");
    dir.Write("Resources/Lua/Obj/tick.lua", "ticks = (ticks or 0) + 1\n");
    dir.Write("Resources/Lua/Obj/msg.lua", "");
    dir.Write("Resources/Lua/Obj/kill.lua", "local obj = ...\nobj:Destroy()\n");
    std::string printed = LoadObjects(
        Object("", Prop("NAME", "Crate") + Prop("init", "Obj/init.lua") +
                       Prop("Update", "Obj/tick.lua") + Prop("MESSAGE", "Obj/msg.lua") +
                       Prop("power", "4.5")) +
        Object("", Prop("INIT", "Obj/missing.lua") + Prop("MASS", "3")) +
        Object("", Prop("INIT", "Obj/kill.lua") + Prop("MASS", "3") + Prop("Score", "1")));
    EXPECT_EQ(Global("inits"), 1.0);
    Lua("assert(initName == 'Crate')");
    LuaComponent* scripts = ScriptsOf(0);
    ASSERT_NE(scripts, nullptr);
    EXPECT_NE(scripts->GetUpdateScript(), LuaComponent::kNoScript);
    EXPECT_NE(scripts->GetMessageScript(), LuaComponent::kNoScript);
    // The number the init script stored is replaced as a number.
    const MetaValue* power = Get(0)->FindProperty("power");
    ASSERT_NE(power, nullptr);
    ASSERT_TRUE(power->IsType<double*>());
    EXPECT_DOUBLE_EQ(*power->Get<double*>(), 4.5);

    // A missing script is reported and the object is still made.
    EXPECT_NE(printed.find("Obj/missing.lua"), std::string::npos);
    ASSERT_NE(BodyOf(1), nullptr);
    EXPECT_FLOAT_EQ(BodyOf(1)->mass, 3.0f);
    // An object its init script destroyed takes no further properties.
    GenericGameObject* dead = Get(2);
    ASSERT_NE(dead, nullptr);
    EXPECT_FALSE(dead->IsAlive());
    EXPECT_FALSE(dead->HasProperty("Score"));
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(TmxObjects, DynamicPropertiesKeepTheirTypeAndGroupPropertiesWin) {
    LoadObjects(Object("", Prop("Speed", "12") + Prop("Ratio", "0.5") + Prop("Boss", "true") +
                               Prop("Label", "red door") + Prop("Count", "5") +
                               Prop("Tint", "1 2 3 4") + Prop("Empty", "")) +
                    Object("", Prop("MASS", "2") + Prop("Count", "nope")),
                Prop("Count", "2.9") + Prop("Label", "blue door") + Prop("Mass", "9") +
                    Prop("Big", "99999999999"));

    GenericGameObject* object = Get(0);
    ASSERT_NE(object, nullptr);
    const MetaValue* speed = object->FindProperty("Speed");
    ASSERT_NE(speed, nullptr);
    ASSERT_TRUE(speed->IsType<int*>());
    EXPECT_EQ(*speed->Get<int*>(), 12);
    const MetaValue* ratio = object->FindProperty("Ratio");
    ASSERT_NE(ratio, nullptr);
    ASSERT_TRUE(ratio->IsType<float*>());
    EXPECT_FLOAT_EQ(*ratio->Get<float*>(), 0.5f);
    const MetaValue* boss = object->FindProperty("Boss");
    ASSERT_NE(boss, nullptr);
    ASSERT_TRUE(boss->IsType<bool*>());
    EXPECT_TRUE(*boss->Get<bool*>());
    EXPECT_FALSE(object->HasProperty("speed"));
    EXPECT_FALSE(object->HasProperty("Empty"));
    // The group's value replaces the object's in the object's type.
    const MetaValue* count = object->FindProperty("Count");
    ASSERT_NE(count, nullptr);
    ASSERT_TRUE(count->IsType<int*>());
    EXPECT_EQ(*count->Get<int*>(), 2);
    const MetaValue* big = object->FindProperty("Big");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(*big->Get<int*>(), INT_MAX);

    // Texts reach scripts as strings; the group's text replaced the object's.
    PushUserdata(L, object);
    lua_setglobal(L, "obj");
    Lua("assert(obj.Label == 'blue door', tostring(obj.Label))\n"
        "assert(obj.Tint == '1 2 3 4')\nassert(obj.Speed == 12)\nobj = nil");

    // The group's MASS comes after the object's own; a text that is no
    // number becomes 0 in an int property of another object.
    EXPECT_FLOAT_EQ(BodyOf(0)->mass, 9.0f);
    EXPECT_FLOAT_EQ(BodyOf(1)->mass, 9.0f);
    const MetaValue* other = Get(1)->FindProperty("Count");
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(other->IsType<const char*>());
}

TEST_F(TmxObjects, PolylinesMakeAStaticPolygonAroundTheirMean) {
    LoadObjects(Object("x=\"100\" y=\"50\"", Prop("MASS", "4"),
                       "<polyline points=\"0,0 10,0 10,10 0,10\"/>") +
                Object("x=\"100\" y=\"50\" width=\"8\" height=\"8\"", "",
                       "<polyline points=\"abc 5 ,\"/>") +
                Object("", "", "<polyline points=\"1e999,nan  2,4\"/>"));

    ExpectCentre(0, 105, -55, 5, 5);
    PhysicsBody* body = BodyOf(0);
    ASSERT_NE(body, nullptr);
    ASSERT_EQ(body->ShapeType(), kShapeRigid);
    auto* rigid = static_cast<Rigid*>(body->shape);
    ASSERT_EQ(rigid->pointCount, 4);
    const float expected[4][2] = {{-5, 5}, {5, 5}, {5, -5}, {-5, -5}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(rigid->points[size_t(i)].x, expected[i][0]) << i;
        EXPECT_FLOAT_EQ(rigid->points[size_t(i)].y, expected[i][1]) << i;
    }
    EXPECT_EQ(body->mass, 0.0f);
    EXPECT_EQ(body->invMass, 0.0f);

    // "," is a pair of two malformed numbers, both 0; "abc" and "5" are not
    // pairs.
    ExpectCentre(1, 104, -54, 0, 0);
    ASSERT_NE(BodyOf(1), nullptr);
    EXPECT_EQ(BodyOf(1)->ShapeType(), kShapeRigid);
    // Numbers that are not finite read as 0.
    ExpectCentre(2, 1, -2, 1, 2);
}

TEST_F(TmxObjects, EveryGroupAndEveryObjectOfItIsRead) {
    dir.Write("Resources/Levels/groups.tmx",
              "<map><objectgroup><properties>" + Prop("LAYER", "4") +
                  "</properties><object x=\"1\"/><object x=\"2\"/></objectgroup>"
                  "<other><object x=\"3\"/></other>"
                  "<objectgroup><thing x=\"4\"/></objectgroup></map>");
    level = new GenericTileLevel();
    CaptureStdout([&] { Tmx::LoadLevel(*level, "groups.tmx"); });
    // A later sibling of the first group counts as a group whatever its
    // name; a group without an `object` element has no objects.
    ASSERT_EQ(GetObjectCount(), 3);
    EXPECT_EQ(BodyOf(0)->layer, 4);
    EXPECT_EQ(BodyOf(1)->layer, 4);
    EXPECT_EQ(BodyOf(2)->layer, -1);
    EXPECT_FLOAT_EQ(TransformOf(2)->x, 3.0f);
}

}  // namespace
