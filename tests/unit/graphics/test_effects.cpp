// Effects, parameters, the shader cache and the pass lists without a GL
// context: values, the Lua methods with good and bad arguments, numbering
// from 1, and no GL call while there is no context.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Graphics/Effect.h"
#include "Graphics/RenderTarget.h"
#include "Graphics/Window.h"
#include "System/Source/Components/LuaBinding.h"
#include "support/TestSupport.h"
#include "test_lua_support.h"

namespace {

using TestSupport::CaptureStdout;

PostProcess* AddPass(uint32_t texture) {
    PostProcess* pass = new PostProcess();
    pass->texture = texture;
    PostProcessList.push_back(pass);
    return pass;
}

TEST(EffectParameters, ArrayHoldsSixteenElementsStartingFromZero) {
    EffectParameter p("values");
    p.SetInt(0x7FFFFFFF);  // a value of another kind does not leak into the array
    EXPECT_TRUE(p.SetArrayElement(3, 1.5f));
    EXPECT_EQ(p.kind, EffectParameter::FloatArray);
    for (unsigned i = 0; i < 16; ++i) EXPECT_EQ(p.value.floats[i], i == 3 ? 1.5f : 0.0f) << i;
    EXPECT_TRUE(p.SetArrayElement(15, 4.0f));
    EXPECT_EQ(p.value.floats[3], 1.5f);  // same kind: earlier elements stay
    EXPECT_FALSE(p.SetArrayElement(16, 9.0f));
    EXPECT_FALSE(p.SetArrayElement(0xFFFFFFFFu, 9.0f));
    EXPECT_EQ(p.value.floats[15], 4.0f);
}

TEST(EffectParameters, FoundByNameAndNeverMoved) {
    Effect effect;  // no context: no program, nothing compiled
    EffectParameter* tint = EffectAddParameter(&effect, "tint");
    EXPECT_EQ(tint->location, -1);
    EXPECT_EQ(EffectAddParameter(&effect, "tint"), tint);
    EXPECT_NE(EffectAddParameter(&effect, "tint2"), tint);  // length and bytes
    EXPECT_NE(EffectAddParameter(&effect, "tin"), tint);
    for (int i = 0; i < 100; ++i) EffectAddParameter(&effect, ("p" + std::to_string(i)).c_str());
    EXPECT_EQ(EffectAddParameter(&effect, "tint"), tint);
    EXPECT_EQ(effect.parameters.size(), 103u);
    EXPECT_EQ(EffectAddParameter(nullptr, "x"), nullptr);
    EXPECT_EQ(EffectAddParameter(&effect, nullptr)->name, "");
}

TEST(EffectsWithoutGl, NothingCallsGl) {
    // GLEW is not loaded here: any GL call would jump through a null pointer.
    ASSERT_FALSE(HasGlContext());
    Effect effect;
    CaptureStdout([&] {
        EffectCompileShader(&effect, "void main(void) {}", kFragmentStage, false);
        EffectLink(&effect);
        EffectAddParameter(&effect, "x")->SetFloat(1.0f);
        EffectApply(&effect);
        EffectDisableAttributes(&effect);
        EffectReleaseBase();
        BindRenderTarget(nullptr);
        RenderTarget target;
        target.Create(16, 16);
        EXPECT_EQ(target.framebuffer, 0u);
    });
    EXPECT_EQ(effect.program, 0u);
    // Objects holding names of a context that has ended release nothing.
    RenderTarget* stale = new RenderTarget();
    stale->framebuffer = 5;
    stale->texture = 7;
    stale->textureMade = true;
    delete stale;
    Effect* old = new Effect();
    old->program = 8;
    old->fragmentShader = 9;
    delete old;
}

TEST(EffectsWithoutGl, CacheKeepsTheFirstEffectOfAName) {
    ShaderCache cache;
    cache.Add("Grey", nullptr, "a.frag");
    Effect* grey = cache.Find("Grey");
    ASSERT_NE(grey, nullptr);
    AddStartupShaders(cache);
    EXPECT_EQ(cache.Find("Grey"), grey);
    EXPECT_EQ(cache.Size(), 4u);
    EXPECT_EQ(cache.Find("grey"), nullptr);  // names are exact
    EXPECT_EQ(cache.Find(nullptr), nullptr);
}

TEST(EffectsWithoutGl, PassesAndLayersCountFromOneAndFailuresAreReported) {
    PostProcess* first = AddPass(11);
    PostProcess* second = AddPass(12);
    GraphicsLayerList.push_back(new RenderTarget());
    EXPECT_EQ(GetPostProcess(1), first);
    EXPECT_EQ(GetPostProcess(2), second);
    EXPECT_EQ(GetGraphicsLayer(1), GraphicsLayerList[0]);
    for (int n : {0, 3, -1, -2147483647 - 1}) {
        EXPECT_EQ(GetPostProcess(n), nullptr) << n;
        EXPECT_EQ(GetGraphicsLayer(n == 3 ? 2 : n), nullptr) << n;
    }
    ReleasePostProcessing();
    EXPECT_TRUE(PostProcessList.empty() && GraphicsLayerList.empty());

    EXPECT_EQ(CaptureStdout([] { CheckFramebufferStatus(GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT); }),
              "ASKLDM\n");
    EXPECT_EQ(CaptureStdout([] { CheckFramebufferStatus(GL_FRAMEBUFFER_COMPLETE); }), "");
}

// The Lua face of effects and parameters.
class EffectLua : public LuaFixture {
protected:
    void SetUp() override {
        LuaFixture::SetUp();
        Effect::RegisterMethods();
        EffectParameter::RegisterMethods();
        System::RegisterClassTable<Effect>("Effect", Effect::LuaNew);
        System::RegisterClassTable<EffectParameter>("EffectParameter", EffectParameter::LuaNew);
        PushUserdata(L, &effect);
        lua_setglobal(L, "fx");
        EXPECT_EQ(Run("p = fx:GetParameter('v')"), "");
    }
    void TearDown() override {
        ReleasePostProcessing();
        EffectImageTexture = nullptr;
        LuaFixture::TearDown();
    }
    System::MetaBase* Global(const char* name) {
        lua_getglobal(L, name);
        System::MetaBase* object = System::ToEngineObject(L, -1);
        lua_pop(L, 1);
        return object;
    }
    EffectParameter& P() { return effect.parameters.front(); }

    Effect effect;
};

TEST_F(EffectLua, GetParameterHandsOutOneParameterPerName) {
    EXPECT_EQ(Run("q = fx:GetParameter('v'); r = fx:GetParameter(12)"), "");
    EXPECT_EQ(Global("p"), &P());
    EXPECT_EQ(Global("q"), &P());
    EXPECT_TRUE(True("getmetatable(p).className == 'class EffectParameter'"));
    ASSERT_EQ(effect.parameters.size(), 2u);
    EXPECT_EQ(effect.parameters.back().name, "12");  // a number names as Lua writes it
}

TEST_F(EffectLua, ArgumentsAreReadThroughTypedReads) {
    EXPECT_EQ(Run("p:SetFloat('much')"), "");
    EXPECT_EQ(P().kind, EffectParameter::Float);
    EXPECT_EQ(P().value.f, 0.0f);
    EXPECT_EQ(Run("p:SetInt(-3.9)"), "");
    EXPECT_EQ(P().value.i, -3);
    EXPECT_EQ(Run("p:SetInt(0/0)"), "");
    EXPECT_EQ(P().value.i, 0);

    EXPECT_EQ(Run("p:SetArray(15.7, 2); p:SetArray('x', 7)"), "");
    EXPECT_EQ(P().value.floats[15], 2.0f);
    EXPECT_EQ(P().value.floats[0], 7.0f);  // a wrong-typed index reads as 0
    EffectParameter::Value before = P().value;
    for (const char* index : {"16", "-1", "1e300", "-1e300", "0/0", "1/0", "65536"}) {
        EXPECT_EQ(Run(std::string("p:SetArray(") + index + ", 5)"), "") << index;
        EXPECT_EQ(std::memcmp(&before, &P().value, sizeof before), 0) << index;
    }

    AddPass(41);
    AddPass(42);
    EXPECT_EQ(Run("p:SetTarget(2)"), "");
    EXPECT_EQ(P().kind, EffectParameter::Texture);
    EXPECT_EQ(P().value.texture, 42u);
    for (const char* n : {"0", "3", "-1", "0/0", "'one'"}) {
        EXPECT_EQ(Run(std::string("p:SetTarget(") + n + ")"), "") << n;
        EXPECT_EQ(P().value.texture, 42u) << n;
    }
    EXPECT_EQ(Run("p:SetTarget(1.9)"), "");
    EXPECT_EQ(P().value.texture, 41u);

    EffectImageTexture = [](const char* path) -> uint32_t { return path[0] == 'R' ? 77 : 5; };
    EXPECT_EQ(Run("p:SetTexture('Resources/Art/a.png')"), "");
    EXPECT_EQ(P().value.texture, 77u);
    EXPECT_EQ(Run("p:SetTexture(5)"), "");  // asked for ""
    EXPECT_EQ(P().value.texture, 5u);
}

TEST_F(EffectLua, MethodsWithoutTheirObjectFailCleanly) {
    // No object, a class table or an object of another class: a script
    // error, never a write through a stray pointer.
    for (const char* call :
         {"p.SetFloat(nil, 1)", "p.SetFloat(5, 1)",
          "EffectParameter.SetArray(EffectParameter, 1, 2)", "EffectParameter.SetInt(fx, 3)",
          "Effect.GetParameter(p, 'y')", "fx.GetParameter()", "Effect.new()"}) {
        EXPECT_NE(Run(call), "") << call;
    }
    EXPECT_EQ(P().kind, EffectParameter::None);
    EXPECT_EQ(effect.parameters.size(), 1u);
}

TEST_F(EffectLua, NewMakesEmptyObjectsThatWork) {
    ASSERT_EQ(Run("e = Effect:new(); q = EffectParameter:new()\n"
                  "e:GetParameter('z'):SetInt(4); q:SetArray(2, 8)"),
              "");
    auto* made = dynamic_cast<Effect*>(Global("e"));
    auto* loose = dynamic_cast<EffectParameter*>(Global("q"));
    ASSERT_NE(made, nullptr);
    ASSERT_NE(loose, nullptr);
    EXPECT_EQ(made->program, 0u);
    ASSERT_EQ(made->parameters.size(), 1u);
    EXPECT_EQ(made->parameters.front().value.i, 4);
    EXPECT_EQ(loose->value.floats[2], 8.0f);
    delete made;  // Lua never frees what "new" made
    delete loose;
}

}  // namespace
