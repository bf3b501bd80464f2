// Transform, graphics, texture and animation components, and the two
// object kinds.
#include <gtest/gtest.h>

#include "components_fixture.h"

namespace {

using ComponentTest::ComponentsFixture;
using ComponentTest::StandInBody;
using Strings = std::vector<std::string>;

class Components : public ComponentsFixture {};

TEST_F(Components, ObjectKindsStartWithTheirComponentsInOrder) {
    System::GenericGameObject* object = CreateObject("Object");
    ASSERT_NE(object, nullptr);
    EXPECT_STREQ(object->GetName(), "Object");
    EXPECT_FALSE(object->HasComponent("PhysicsBody"));
    ASSERT_EQ(object->GetComponentIds()->size(), 2u);
    EXPECT_NE(Get<Transform>(object, "Transform"), nullptr);
    EXPECT_EQ(object->GetGraphicsComponentId(), (*object->GetComponentIds())[1]);

    System::GenericGameObject* lua = CreateObject("LuaObject");
    ASSERT_NE(lua, nullptr);
    EXPECT_STREQ(lua->GetName(), "LuaObject");
    EXPECT_TRUE(lua->HasComponent("PhysicsBody"));
    // Ids follow creation order: the scripts run first in a frame.
    Strings names;
    lua->ForEachComponent([&](System::GenericComponent& c) {
        names.push_back(c.GetComponentName());
        return 2;
    });
    EXPECT_EQ(names, (Strings{"LuaComponent", "Transform", "GraphicsComponent", "PhysicsBody"}));
    const auto& ids = *lua->GetComponentIds();
    EXPECT_LT(ids[0], ids[1]);
    EXPECT_LT(ids[2], ids[3]);
    // Both kinds act as plain game objects in Lua.
    EXPECT_STREQ(lua->GetTypeName(), "class System::GenericGameObject");
}

TEST_F(Components, DeletingALuaObjectDisablesItsComponentsInOrder) {
    System::GenericGameObject* lua = CreateObject("LuaObject");
    const Strings names{"LuaComponent", "Transform", "GraphicsComponent", "PhysicsBody"};
    std::vector<int> ids(lua->GetComponentIds()->begin(), lua->GetComponentIds()->end());
    delete lua;
    // The body went last: the three others were already off when it went.
    EXPECT_EQ(StandInBody::disabled, 1);
    EXPECT_TRUE(StandInBody::activeAtDisable.empty());
    for (int id : ids) EXPECT_FALSE(GetComponentById(id)->IsActive()) << id;
}

TEST_F(Components, TransformMessagesAndFreshStart) {
    System::GenericGameObject* object = CreateObject("Object");
    Transform* t = Get<Transform>(object, "Transform");
    EXPECT_EQ(t->scaleX, 10.0f);
    EXPECT_TRUE(t->HandleMessage(Message({0, 4})));
    EXPECT_TRUE(t->HandleMessage(Message({1, -3})));
    EXPECT_TRUE(t->HandleMessage(Message({2, 5.5})));
    EXPECT_TRUE(t->HandleMessage(Message({3, 1})));
    EXPECT_FLOAT_EQ(t->x, 9.5f);
    EXPECT_FLOAT_EQ(t->y, -2.0f);
    EXPECT_FALSE(t->HandleMessage(Message({7, 100})));
    EXPECT_FALSE(t->HandleMessage(MessagePayload()));
    EXPECT_FLOAT_EQ(t->x, 9.5f);
    // The properties refer to the fields.
    const MetaValue* rotation = t->FindProperty("rotation");
    ASSERT_NE(rotation, nullptr);
    EXPECT_EQ(rotation->payload.p, &t->rotation);
    EXPECT_STREQ(t->GetTypeName(), "class System::GenericComponent");

    t->scaleY = 3.0f;
    object->RemoveComponent("Transform");
    object->AddComponent("Transform");
    EXPECT_EQ(t->x, 0.0f);
    EXPECT_EQ(t->scaleY, 10.0f);
}

TEST_F(Components, GraphicsColourMessageAndPlainShape) {
    System::GenericGameObject* object = CreateObject("Object");
    auto* g = Get<GraphicsComponent>(object, "GraphicsComponent");
    Transform* t = Get<Transform>(object, "Transform");
    t->x = 100.7f;
    t->y = 50.0f;
    t->scaleX = 21.0f;

    // A new component is transparent: nothing but the set-up is drawn.
    object->Draw();
    EXPECT_EQ(renderer.calls, (Strings{"SetDepth(0)", "SetEffect(null)", "SetDepth(0)"}));

    EXPECT_FALSE(g->HandleMessage(Message({1, 1, 2, 3, 4})));
    EXPECT_TRUE(g->HandleMessage(Message({0, 300, 20.9, -1, 255})));
    EXPECT_EQ(g->r, 44);
    EXPECT_EQ(g->g, 20);
    EXPECT_EQ(g->b, 255);
    g->layer = 7;
    renderer.calls.clear();
    object->Draw();
    EXPECT_EQ(renderer.calls, (Strings{"SetDepth(7)", "SetEffect(null)", "SetDepth(0)",
                                       "PushTranslation(0, 0, 7)", "SetColor(44, 20, 255, 255)",
                                       "FillRect(90, 45, 111, 55)", "PopTranslation()"}));
    EXPECT_EQ(g->color, Color(44, 20, 255, 255));

    // With a texture component the plain shape gives way.
    object->AddComponent("TextureComponent");
    renderer.calls.clear();
    object->Draw();
    EXPECT_TRUE(renderer.Only("FillRect").empty());
    EXPECT_EQ(renderer.Only("DrawTextureRegion").size(), 1u);
}

TEST_F(Components, GraphicsShapesByBodyKind) {
    System::GenericGameObject* object = CreateObject("Object");
    auto* g = Get<GraphicsComponent>(object, "GraphicsComponent");
    Transform* t = Get<Transform>(object, "Transform");
    t->x = 10;
    t->y = 20;
    t->z = 3;
    t->rotation = 1.57f;
    g->SetColor(Color(1, 2, 3, 200));

    g->DrawPlainShape(*t, BodyShape::Box);
    EXPECT_EQ(renderer.Only("DrawRectOutline"), (Strings{"DrawRectOutline(5, 15, 15, 25, 2)"}));
    EXPECT_EQ(renderer.Only("SetColor").back(), "SetColor(0, 0, 0, 200)");
    renderer.calls.clear();
    g->outline = 0;
    g->DrawPlainShape(*t, BodyShape::Box);
    EXPECT_TRUE(renderer.Only("DrawRectOutline").empty());

    renderer.calls.clear();
    g->DrawPlainShape(*t, BodyShape::Circle);
    EXPECT_EQ(renderer.Only("FillCircle"), (Strings{"FillCircle(10, 23, 10)"}));

    renderer.calls.clear();
    g->DrawPlainShape(*t, BodyShape::Rigid);
    EXPECT_EQ(renderer.Only("FillRect"), (Strings{"FillRect(-5, -5, 5, 5)"}));
    EXPECT_EQ(renderer.Only("SetRotation").size(), 2u);
    EXPECT_EQ(renderer.Only("SetRotation").back(), "SetRotation(0)");

    for (BodyShape kind : {BodyShape::Plain, BodyShape::Boundary}) {
        renderer.calls.clear();
        g->DrawPlainShape(*t, kind);
        EXPECT_EQ(renderer.calls, (Strings{"PushTranslation(0, 0, 0)", "SetColor(1, 2, 3, 200)",
                                           "PopTranslation()"}));
    }
}

TEST_F(Components, GraphicsTargetsAndEffectNames) {
    auto* g = static_cast<GraphicsComponent*>(GraphicsComponent::Create());
    // No passes or layers exist here: every index means the screen.
    EXPECT_EQ(g->GetRenderTarget(), nullptr);
    g->SetGraphicsLayer(3);
    g->SetRenderTarget(-1);
    EXPECT_EQ(g->GetRenderTarget(), nullptr);
    g->SetEffectName("Grey");
    g->SetOverrideName(nullptr);
    EXPECT_STREQ(g->GetEffectName(), "Grey");
    EXPECT_STREQ(g->GetOverrideName(), "");
    // Without an owner nothing is drawn.
    g->SetColor(Color(255, 255, 255, 255));
    g->Draw();
    EXPECT_TRUE(renderer.calls.empty());
}

TEST_F(Components, TextureQuadFlipTintAndMessages) {
    System::GenericGameObject* object = CreateObject("Object");
    object->AddComponent("TextureComponent");
    auto* texture = Get<TextureComponent>(object, "TextureComponent");
    Transform* t = Get<Transform>(object, "Transform");
    t->x = 40;
    t->y = 30;
    t->z = 2.9f;
    t->scaleX = 9;
    t->scaleY = 4;
    t->rotation = 0.5f;
    EXPECT_TRUE(texture->HandleMessage(Message({0, 17})));
    EXPECT_TRUE(texture->HandleMessage(Message({1, 0.25, 0.5, 0.75, 1})));
    EXPECT_FALSE(texture->HandleMessage(Message({3})));
    texture->flip = true;

    texture->Draw();
    // Alpha 0 in the graphics component: no tint.
    EXPECT_EQ(renderer.calls,
              (Strings{"PushTranslation(0, 0, 2)", "SetTexture(17)", "SetPivot(40, 30)",
                       "SetRotation(0.5)", "DrawTextureRegion(-4, -2, 4, 2, 0.75, 0.5, 0.25, 1)",
                       "SetRotation(0)", "SetPivot(0, 0)", "PopTranslation()", "SetColorFill(0)"}));

    Get<GraphicsComponent>(object, "GraphicsComponent")->HandleMessage(Message({0, 9, 8, 7, 6}));
    object->Draw();  // refreshes the packed colour
    renderer.calls.clear();
    texture->Draw();
    EXPECT_EQ(renderer.calls[0], "SetColor(9, 8, 7, 6)");
    EXPECT_EQ(renderer.calls[1], "SetColorFill(1)");

    // Re-enabling shows the whole texture again.
    object->RemoveComponent("TextureComponent");
    object->AddComponent("TextureComponent");
    EXPECT_EQ(texture->u0, 0.0f);
    EXPECT_EQ(texture->v1, 1.0f);
    EXPECT_STREQ(texture->GetTypeName(), "class TextureComponent");
}

TEST_F(Components, TextureLayerThatDoesNotExistChangesNothing) {
    auto* texture = static_cast<TextureComponent*>(TextureComponent::Create());
    texture->HandleMessage(Message({0, 5}));
    texture->HandleMessage(Message({1, 0.1, 0.2, 0.3, 0.4}));
    texture->SetTextureLayer(0);
    texture->SetTextureLayer(4);
    EXPECT_EQ(texture->image.texture, 5u);
    EXPECT_FLOAT_EQ(texture->u1, 0.3f);
    // Without an atlas an image request gives the empty image, whole.
    MessagePayload load;
    load.AddNumber(2);
    load.AddText("Resources/none.png");
    EXPECT_TRUE(texture->HandleMessage(load));
    EXPECT_EQ(texture->image.texture, 0u);
    EXPECT_FLOAT_EQ(texture->u1, 1.0f);
}

TEST_F(Components, AnimationStepsOneFramePerUpdateAndWraps) {
    auto* anim = static_cast<AnimationComponent*>(AnimationComponent::Create());
    EXPECT_STREQ(anim->GetTypeName(), "class TextureComponent");
    EXPECT_STREQ(anim->GetComponentName(), "AnimationComponent");
    // Updating before the frame size is known is harmless.
    anim->Update(1.0f);
    anim->image.width = 256;
    anim->image.height = 64;
    EXPECT_TRUE(anim->HandleMessage(Message({4, 64})));
    EXPECT_TRUE(anim->HandleMessage(Message({5, 64})));
    EXPECT_TRUE(anim->HandleMessage(Message({6, 1})));
    EXPECT_TRUE(anim->HandleMessage(Message({7, 4})));
    EXPECT_TRUE(anim->HandleMessage(Message({42})));
    anim->frame = 0;
    anim->elapsed = 0.0f;

    std::vector<int> frames;
    for (int i = 0; i < 7; ++i) {
        anim->Update(0.15f);  // more than one frame's time: still one step
        frames.push_back(anim->frame);
    }
    EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 1, 2, 3, 1}));
    anim->Update(0.05f);
    anim->Update(0.05f);  // 0.1 gathered is not more than 0.1
    EXPECT_EQ(anim->frame, 1);
    EXPECT_FLOAT_EQ(anim->frameU0, 0.25f);

    anim->HandleMessage(Message({9, 20}));
    EXPECT_FLOAT_EQ(anim->frameTime, 0.05f);
}

TEST_F(Components, AnimationFrameRectangleAndDraw) {
    System::GenericGameObject* object = CreateObject("Object");
    object->AddComponent("AnimationComponent");
    auto* anim = Get<AnimationComponent>(object, "AnimationComponent");
    anim->image.width = 256;
    anim->image.height = 128;
    anim->image.texture = 9;
    anim->frameWidth = anim->frameHeight = 64;
    anim->frameCount = 8;
    anim->frame = 4;
    anim->Update(0.2f);  // steps to frame 5
    EXPECT_EQ(anim->frame, 5);
    // Column 1 of the second row from the top (the top row lies at v = 1).
    EXPECT_FLOAT_EQ(anim->frameU0, 0.25f);
    EXPECT_FLOAT_EQ(anim->frameV0, 0.0f);
    EXPECT_FLOAT_EQ(anim->frameU1, 0.5f);
    EXPECT_FLOAT_EQ(anim->frameV1, 0.5f);

    Transform* t = Get<Transform>(object, "Transform");
    t->x = 100;
    t->y = 50;
    t->z = 1;
    anim->Draw();
    EXPECT_EQ(renderer.calls,
              (Strings{"SetTexture(9)", "DrawTextureRegion(95, 46, 105, 56, 0.25, 0, 0.5, 0.5)"}));
    // Positions far outside the int range saturate instead of overflowing.
    t->x = 1e30f;
    renderer.calls.clear();
    anim->Draw();
    EXPECT_EQ(renderer.calls[1].rfind("DrawTextureRegion(2147483647", 0), 0u) << renderer.calls[1];
}

}  // namespace
