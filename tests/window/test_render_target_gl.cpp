// Render targets on a real GL context: images round-trip through them, a
// target of none resolves when it is bound, incomplete framebuffers are
// reported, and nothing is released once the context is gone.
#include <string>

#include "support/TestSupport.h"
#include "window/effect_draw.h"

namespace {

using TestSupport::CaptureStdout;
using Box = std::array<GLint, 4>;

class RenderTargets : public EffectDraw::GlScene {
protected:
    static GLuint BoundFramebuffer() {
        GLint value = -1;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &value);
        return GLuint(value);
    }
    static Box Viewport() {
        Box v{};
        glGetIntegerv(GL_VIEWPORT, v.data());
        return v;
    }
};

TEST_F(RenderTargets, ImageRoundTripsThroughATarget) {
    RenderTarget target;
    EXPECT_EQ(CaptureStdout([&] { target.Create(32, 16); }), "");
    EXPECT_EQ(BoundFramebuffer(), 0u);  // what was bound before stays bound
    BindRenderTarget(&target);
    EXPECT_EQ(BoundFramebuffer(), target.framebuffer);
    EXPECT_EQ(Viewport(), (Box{0, 0, 32, 16}));
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);

    BindRenderTarget(nullptr);  // drawing to the window
    EXPECT_EQ(BoundFramebuffer(), 0u);
    EXPECT_EQ(Viewport(), (Box{0, 0, 64, 64}));
    Effect textured;
    EffectLink(&textured);
    DrawQuad(&textured, {0, 0, 64, 64, {255, 255, 255, 0}, target.texture});
    EXPECT_EQ(Pixel(32, 32), (std::array<int, 4>{255, 0, 0, 255}));
    EXPECT_EQ(Pixel(1, 62), (std::array<int, 4>{255, 0, 0, 255}));
}

TEST_F(RenderTargets, NoTargetResolvesWhenBound) {
    RenderTarget scene, other;
    scene.Create(40, 20);
    other.Create(24, 12);
    SceneTarget = &scene;
    DrawingToWindow = false;
    // The scene's depth is cleared as it is bound.
    glBindFramebuffer(GL_FRAMEBUFFER, scene.framebuffer);
    glClearDepth(1.0);
    glClear(GL_DEPTH_BUFFER_BIT);
    glClearDepth(0.25);
    BindRenderTarget(nullptr);
    EXPECT_EQ(BoundFramebuffer(), scene.framebuffer);
    EXPECT_EQ(Viewport(), (Box{0, 0, 40, 20}));
    float depth = 0.0f;
    glReadPixels(5, 5, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_NEAR(depth, 0.25f, 0.01f);
    glClearDepth(0.0);
    // Whatever SceneTarget is at bind time counts.
    SceneTarget = &other;
    BindRenderTarget(nullptr);
    EXPECT_EQ(BoundFramebuffer(), other.framebuffer);
    EXPECT_EQ(Viewport(), (Box{0, 0, 24, 12}));
    DrawingToWindow = true;
    BindRenderTarget(nullptr);
    EXPECT_EQ(BoundFramebuffer(), 0u);
}

TEST_F(RenderTargets, CreateReportsIncompleteFramebuffersAndReplacesObjects) {
    RenderTarget target;
    EXPECT_EQ(CaptureStdout([&] { target.Create(0, 16); }), "ASKLDM\n");  // no area
    EXPECT_NE(target.framebuffer, 0u);                                    // kept regardless
    RenderTarget none;
    none.Create(0, 0);
    EXPECT_EQ(none.framebuffer, 0u);
    EXPECT_FALSE(none.textureMade);

    GLuint oldFramebuffer = target.framebuffer, oldDepth = target.depthBuffer;
    GLuint oldTexture = target.texture;
    BindRenderTarget(&target);
    EXPECT_EQ(CaptureStdout([&] { target.Create(48, 8); }), "");
    // A binding of the old framebuffer moves to the new one.
    EXPECT_EQ(BoundFramebuffer(), target.framebuffer);
    GLint width = 0;
    glBindTexture(GL_TEXTURE_2D, target.texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(width, 48);
    // The old objects are gone unless their names were handed out again.
    EXPECT_TRUE(oldFramebuffer == target.framebuffer || !glIsFramebuffer(oldFramebuffer));
    EXPECT_TRUE(oldDepth == target.depthBuffer || !glIsRenderbuffer(oldDepth));
    EXPECT_TRUE(oldTexture == target.texture || !glIsTexture(oldTexture));
}

TEST_F(RenderTargets, PassesTakeTheWindowSizeAndLayersTheVirtualScreen) {
    WindowWidth = 48;
    WindowHeight = 36;
    EXPECT_EQ(AddPostProcess("", ""), nullptr);
    EXPECT_TRUE(PostProcessList.empty());
    PostProcess* pass = nullptr;
    CaptureStdout([&] { pass = AddPostProcess("Resources/Shaders/base_vertex.vert", ""); });
    ASSERT_EQ(GetPostProcess(1), pass);
    EXPECT_EQ(pass->width, 48);
    EXPECT_EQ(pass->height, 36);
    EXPECT_TRUE(pass->effect.linkOk);
    EXPECT_EQ(pass->effect.fragmentShader, BaseFragmentShader);
    RenderTarget* layer = NewRenderTarget();
    ASSERT_EQ(GetGraphicsLayer(1), layer);
    EXPECT_EQ(layer->width, 1920);
    EXPECT_EQ(layer->height, 1080);
}

TEST_F(RenderTargets, NothingIsReleasedOnceTheContextIsGone) {
    RenderTarget* target = new RenderTarget();
    target->Create(8, 8);
    GLuint texture = target->texture, framebuffer = target->framebuffer;
    Effect* effect = new Effect();
    EffectLink(effect);
    GLuint program = effect->program;
    // The engine takes the context as gone: no GL call, so the objects are
    // still there in the (still open) test context.
    GameWindow = nullptr;
    delete target;
    delete effect;
    GameWindow = gl_.Window();
    EXPECT_TRUE(glIsTexture(texture) && glIsFramebuffer(framebuffer) && glIsProgram(program));
    glDeleteTextures(1, &texture);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteProgram(program);

    RenderTarget live;
    live.Create(8, 8);
    texture = live.texture;
    live.Destroy();
    EXPECT_FALSE(glIsTexture(texture));
    EXPECT_FALSE(live.textureMade);
}

}  // namespace
