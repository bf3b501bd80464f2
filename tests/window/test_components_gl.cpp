// The world's components drawing through the batch renderer into a real
// window: plain shapes, textures, animation frames and particles, checked
// by the pixels they leave.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <glm/gtc/matrix_transform.hpp>
#include <memory>
#include <string>
#include <vector>

#include "Graphics/Animation.h"
#include "Graphics/BatchRenderer.h"
#include "Graphics/Effect.h"
#include "Graphics/RenderTarget.h"
#include "Graphics/Sprite.h"
#include "Graphics/TextureAtlas.h"
#include "Graphics/Window.h"
#include "World/PhysicsBody.h"
#include "World/PhysicsWorld.h"
#include "support/GlContext.h"
#include "support/TestData.h"
#include "unit/components_fixture.h"

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

using Rgb = std::array<int, 3>;
constexpr Rgb kBlack{0, 0, 0}, kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255},
    kWhite{255, 255, 255};

// An opaque PNG of pixels given row by row from the top.
std::string Png(int width, int height, const std::vector<Rgb>& pixels) {
    std::vector<std::vector<uint8_t>> rgba;
    for (const Rgb& p : pixels) rgba.push_back({uint8_t(p[0]), uint8_t(p[1]), uint8_t(p[2]), 255});
    return TestSupport::MakePng(width, height, rgba);
}

// The components fixture with the real physics body, a window, the batch
// renderer (projection: one unit per pixel, y up) and the texture atlas.
class ComponentsGl : public ComponentTest::ComponentsFixture {
protected:
    void SetUp() override {
        ComponentsFixture::SetUp();
        static ComponentFactoryNode body;
        RegisterComponentType(body, "PhysicsBody", PhysicsBody::Create);
        PhysicsWorld::Create();
        std::filesystem::create_directories(dir.Path() + "/Resources");
        std::filesystem::create_directory_symlink(
            std::filesystem::path(TAZZLE_SOURCE_DIR) / "Resources" / "Shaders",
            dir.Path() + "/Resources/Shaders");

        gl_ = std::make_unique<TestSupport::GlContext>(kWidth, kHeight);
        ASSERT_TRUE(gl_->Ok()) << "no display";
        SetForeignGlContext(true);
        gl_->ActAsGameWindow();
        TestSupport::CaptureStdout([&] { batch_ = new BatchRenderer(); });
        batch_->SetProjection(
            glm::ortho(0.0f, float(kWidth), 0.0f, float(kHeight), -100.0f, 100.0f));
        CurrentRenderer = batch_;
        GlobalTextureAtlas = new TextureAtlas(256);
    }
    void TearDown() override {
        DeleteAllObjectsAndComponents();
        delete GlobalTextureAtlas;
        GlobalTextureAtlas = nullptr;
        CurrentRenderer = nullptr;
        delete batch_;
        if (gl_) {
            EffectReleaseBase();
            GameWindow = nullptr;
            SetForeignGlContext(false);
            gl_.reset();
        }
        DrawingToWindow = false;
        WindowWidth = 1920;
        WindowHeight = 1080;
        PhysicsWorld::Destroy();
        ComponentsFixture::TearDown();
    }

    // Draws the object as the main loop's draw pass does and renders it.
    void DrawAndRender(System::GenericGameObject* object) {
        object->Draw();
        batch_->Render();
    }
    // Every object drawn, then one render.
    void DrawAll(std::initializer_list<System::GenericGameObject*> objects) {
        for (auto* object : objects) object->Draw();
        batch_->Render();
    }
    static Rgb Pixel(int x, int y) {
        glFinish();
        unsigned char rgba[4] = {};
        TestSupport::GlContext::ReadPixel(x, y, rgba);
        return {rgba[0], rgba[1], rgba[2]};
    }
    static void Place(System::GenericGameObject* object, float x, float y, float w, float h) {
        auto* t = Get<Transform>(object, "Transform");
        t->x = x;
        t->y = y;
        t->scaleX = w;
        t->scaleY = h;
    }
    static void Paint(System::GenericGameObject* object, int r, int g, int b, int a = 255) {
        auto* graphics = Get<GraphicsComponent>(object, "GraphicsComponent");
        graphics->r = r;
        graphics->g = g;
        graphics->b = b;
        graphics->a = a;
    }
    // An object with a texture of that kind showing the image file.
    System::GenericGameObject* Textured(const char* kind, const std::string& file) {
        auto* object = CreateObject("Object");
        object->AddComponent(kind);
        MessagePayload set;
        set.AddNumber(2);
        set.AddText(file.c_str());
        object->GetComponent(kind)->HandleMessage(set);
        return object;
    }

    std::unique_ptr<TestSupport::GlContext> gl_;
    BatchRenderer* batch_ = nullptr;
};

}  // namespace

TEST_F(ComponentsGl, PlainShapesTakeTheirColourAtTheirTransform) {
    // No body: a filled rectangle of the Transform's size.
    auto* plain = CreateObject("Object");
    Place(plain, 30, 30, 20, 20);
    Paint(plain, 255, 0, 0);
    // A box body: filled, with a black outline two pixels wide.
    auto* box = CreateObject("LuaObject");
    Get<PhysicsBody>(box, "PhysicsBody")->CreateBox(40, 30);
    Place(box, 100, 40, 40, 30);
    Paint(box, 0, 255, 0);
    // A circle body: the radius is the full scaleX, raised by z.
    auto* ball = CreateObject("LuaObject");
    Get<PhysicsBody>(ball, "PhysicsBody")->HandleMessage(Message({22, 12}));
    Place(ball, 40, 80, 12, 12);
    Get<Transform>(ball, "Transform")->z = 10;
    Paint(ball, 0, 0, 255);
    // Alpha 0: nothing at all.
    auto* hidden = CreateObject("Object");
    Place(hidden, 130, 100, 20, 20);
    Paint(hidden, 255, 255, 255, 0);
    DrawAll({plain, box, ball, hidden});

    EXPECT_EQ(Pixel(30, 30), kRed);
    EXPECT_EQ(Pixel(21, 21), kRed);
    EXPECT_EQ(Pixel(41, 30), kBlack);
    EXPECT_EQ(Pixel(100, 40), kGreen);
    EXPECT_EQ(Pixel(80, 40), kBlack);  // the outline, centred on the edge
    EXPECT_EQ(Pixel(79, 40), kBlack);
    EXPECT_EQ(Pixel(82, 40), kGreen);
    // The disc, raised by z, shades from a third of its colour at the
    // centre to the full colour at the rim, a full scaleX away.
    Rgb centre = Pixel(40, 90);
    EXPECT_EQ(centre[0] + centre[1], 0);
    EXPECT_NEAR(centre[2], 85, 20);
    EXPECT_GT(Pixel(40, 100)[2], 200);
    EXPECT_EQ(Pixel(40, 76), kBlack);
    EXPECT_EQ(Pixel(130, 100), kBlack);
}

TEST_F(ComponentsGl, ATextureShowsItsImageAndFlips) {
    // Left half red, right half green; top row blue on the right.
    std::string file = dir.Write("quad.png", Png(2, 2, {kRed, kBlue, kRed, kGreen}));
    auto* object = Textured("TextureComponent", file);
    Place(object, 40, 60, 40, 40);
    auto* mirrored = Textured("TextureComponent", file);
    Place(mirrored, 120, 60, 40, 40);
    Get<TextureComponent>(mirrored, "TextureComponent")->flip = true;
    DrawAll({object, mirrored});

    EXPECT_EQ(Pixel(30, 50), kRed);
    EXPECT_EQ(Pixel(50, 50), kGreen);
    EXPECT_EQ(Pixel(50, 70), kBlue);
    EXPECT_EQ(Pixel(30, 70), kRed);
    EXPECT_EQ(Pixel(110, 50), kGreen);  // mirrored
    EXPECT_EQ(Pixel(130, 50), kRed);
    EXPECT_EQ(Pixel(110, 70), kBlue);
    EXPECT_EQ(Pixel(70, 60), kBlack);  // between the two
}

TEST_F(ComponentsGl, AnAnimationShowsOneFrameOfItsSheet) {
    // Four frames of 2 x 2 pixels in one row: red, green, blue, white.
    std::vector<Rgb> sheet;
    for (int row = 0; row < 2; ++row)
        for (Rgb colour : {kRed, kGreen, kBlue, kWhite}) sheet.insert(sheet.end(), 2, colour);
    std::string file = dir.Write("sheet.png", Png(8, 2, sheet));
    auto* object = Textured("AnimationComponent", file);
    Place(object, 80, 60, 40, 40);
    auto* animation = Get<AnimationComponent>(object, "AnimationComponent");
    for (auto message : {Message({4, 2}), Message({5, 2}), Message({7, 4}), Message({6, 1})})
        animation->HandleMessage(message);

    std::vector<Rgb> shown;
    for (int step = 0; step < 6; ++step) {
        animation->Update(0.15f);
        glClear(GL_COLOR_BUFFER_BIT);
        DrawAndRender(object);
        shown.push_back(Pixel(80, 60));
    }
    // Frames 1, 2, 3, then back to the loop start 1.
    EXPECT_EQ(shown, (std::vector<Rgb>{kGreen, kBlue, kWhite, kGreen, kBlue, kWhite}));
    EXPECT_EQ(Pixel(55, 60), kBlack);
}

TEST_F(ComponentsGl, SheetFramesRunFromTheTopLeft) {
    // A 4 x 2 sheet of 2 x 2 cells, eight colours, laid out from the top-left.
    const std::vector<Rgb> cells = {kRed,          kGreen,        kBlue,         kWhite,
                                    {255, 255, 0}, {0, 255, 255}, {255, 0, 255}, {128, 64, 32}};
    std::vector<Rgb> sheet;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) sheet.push_back(cells[size_t((y / 2) * 4 + x / 2)]);
    std::string file = dir.Write("sheet42.png", Png(8, 4, sheet));
    auto* object = Textured("AnimationComponent", file);
    Place(object, 80, 60, 40, 40);
    auto* animation = Get<AnimationComponent>(object, "AnimationComponent");
    for (auto message : {Message({4, 2}), Message({5, 2}), Message({7, 8})})
        animation->HandleMessage(message);

    std::vector<Rgb> shown;
    for (float dt : {0.0f, 0.15f, 0.15f, 0.15f, 0.15f}) {
        animation->Update(dt);
        glClear(GL_COLOR_BUFFER_BIT);
        DrawAndRender(object);
        shown.push_back(Pixel(80, 60));
    }
    EXPECT_EQ(shown, std::vector<Rgb>(cells.begin(), cells.begin() + 5));
}

TEST_F(ComponentsGl, ParticlesAreDrawnAsSquaresOfTheirColour) {
    auto* object = CreateObject("Object");
    Place(object, 80, 60, 10, 10);
    Paint(object, 255, 0, 0);  // not drawn: the particles take its place
    object->AddComponent("ParticleComponent");
    auto* particles = Get<ParticleComponent>(object, "ParticleComponent");
    particles->totalParticles = 1;
    particles->spawnRate = 100;
    particles->particleTime = 10;
    particles->size = 9;
    particles->gravityEnabled = false;
    particles->beginColor = Color{0, 255, 0, 255};
    particles->endColor = Color{0, 255, 0, 255};
    particles->Update(0.02f);
    DrawAndRender(object);

    // The shade scales the colour by 0.3 to 1.3: green stays the only channel.
    Rgb centre = Pixel(80, 60);
    EXPECT_EQ(centre[0], 0);
    EXPECT_GT(centre[1], 60);
    EXPECT_EQ(centre[2], 0);
    EXPECT_EQ(Pixel(83, 63), centre);  // half of 9 is 4
    EXPECT_EQ(Pixel(86, 60), kBlack);
}

TEST_F(ComponentsGl, SpritesAndAnimationsReleaseWhatTheyOwn) {
    std::string file = dir.Write("s.png", Png(2, 2, {kRed, kRed, kRed, kRed}));
    auto* sprite = new Sprite(file.c_str());
    EXPECT_STREQ(sprite->GetTypeName(), "class Sprite");
    EXPECT_EQ(sprite->texture.width, 2);
    const GLuint spriteTexture = sprite->texture.texture;
    ASSERT_TRUE(glIsTexture(spriteTexture));
    delete sprite;
    EXPECT_FALSE(glIsTexture(spriteTexture));
    Sprite missing((dir.Path() + "/none.png").c_str());
    EXPECT_EQ(missing.texture.texture, 0u);

    // An animation deletes its frames, and its texture only when it owns it.
    auto* animation = new Animation();
    EXPECT_STREQ(animation->GetTypeName(), "class Animation");
    animation->frames.push_back(new Sprite(file.c_str()));
    animation->frames.push_back(nullptr);
    const GLuint frameTexture = animation->frames[0]->texture.texture;
    TextureInfo shared;
    LoadTexture(file.c_str(), shared);
    animation->texture = shared;  // a copy: not owned by itself
    animation->name = "walk";
    delete animation;
    EXPECT_FALSE(glIsTexture(frameTexture));
    EXPECT_TRUE(glIsTexture(shared.texture));

    animation = new Animation();
    animation->texture = shared;
    animation->ownsTexture = true;
    delete animation;
    EXPECT_FALSE(glIsTexture(shared.texture));
    shared.owns = false;  // already gone
}
