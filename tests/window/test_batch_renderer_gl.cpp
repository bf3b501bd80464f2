// The batch renderer on a real GL context: pixels read back from the window.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <glm/gtc/matrix_transform.hpp>
#include <memory>
#include <string>
#include <vector>

#include "Graphics/BatchRenderer.h"
#include "Graphics/Effect.h"
#include "Graphics/Font.h"
#include "Graphics/RenderTarget.h"
#include "Graphics/Window.h"
#include "support/GlContext.h"
#include "support/TestSupport.h"

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}
constexpr Rgb kBlack{0, 0, 0}, kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};

class BatchRendererGl : public ::testing::Test {
protected:
    void SetUp() override {
        // The shader files are looked up from the source tree.
        savedPath_ = std::filesystem::current_path();
        std::filesystem::current_path(TAZZLE_SOURCE_DIR);
        gl_ = std::make_unique<TestSupport::GlContext>(kWidth, kHeight);
        ASSERT_TRUE(gl_->Ok()) << "no display";
        gl_->ActAsGameWindow();
        log_ = TestSupport::CaptureStdout([&] { renderer_ = new BatchRenderer(); });
        ASSERT_TRUE(renderer_->UsesGl());
        // The world pass's projection: pixels with y up.
        renderer_->SetProjection(
            glm::ortho(0.0f, float(kWidth), 0.0f, float(kHeight), -100.0f, 100.0f));
    }
    void TearDown() override {
        delete renderer_;
        if (gl_) EndContext();
        DrawingToWindow = false;
        WindowWidth = 1920;
        WindowHeight = 1080;
        std::filesystem::current_path(savedPath_);
    }
    // What the window's shutdown does: the shared shaders go with the
    // context, which then is gone.
    void EndContext() {
        EffectReleaseBase();
        GameWindow = nullptr;
        gl_.reset();
    }
    static Rgb Pixel(int x, int y) {
        glFinish();
        unsigned char rgba[4] = {};
        TestSupport::GlContext::ReadPixel(x, y, rgba);
        return {rgba[0], rgba[1], rgba[2]};
    }
    // The whole window, RGBA rows from the bottom.
    static std::vector<unsigned char> WindowPixels() {
        glFinish();
        std::vector<unsigned char> pixels(size_t(kWidth) * kHeight * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }
    static GLuint MakeTexture(int w, int h, GLenum format, const unsigned char* data) {
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, format == GL_RED ? GL_RED : GL_RGBA, w, h, 0, format,
                     GL_UNSIGNED_BYTE, data);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        return texture;
    }

    std::filesystem::path savedPath_;
    std::unique_ptr<TestSupport::GlContext> gl_;
    BatchRenderer* renderer_ = nullptr;
    std::string log_;
};

}  // namespace

TEST_F(BatchRendererGl, ShapesLandWhereTheProjectionSays) {
    EXPECT_NE(log_.find("Shader(Custom Shader) compile info:\n"), std::string::npos) << log_;
    renderer_->SetColor(255, 0, 0, 255);
    renderer_->FillRect(40, 30, 80, 60);
    // Lines are one pixel wide; equal ends draw nothing.
    renderer_->BeginColorFill();
    renderer_->DrawLine(100, 100, 100, 100);
    renderer_->DrawLine(10, 20, 100, 20);
    renderer_->EndColorFill();
    renderer_->Render();
    EXPECT_EQ(renderer_->LastDrawCalls(), 1);
    EXPECT_EQ(Pixel(40, 30), kRed);
    EXPECT_EQ(Pixel(79, 59), kRed);
    EXPECT_EQ(Pixel(80, 45), kBlack);
    EXPECT_EQ(Pixel(60, 60), kBlack);
    EXPECT_EQ(Pixel(20, 19), kRed);
    EXPECT_EQ(Pixel(20, 20), kBlack);
    EXPECT_EQ(Pixel(20, 18), kBlack);
    EXPECT_EQ(Pixel(100, 100), kBlack);
}

TEST_F(BatchRendererGl, EveryShapeOfAFrameBeyondTheFirstBufferDraws) {
    // One 1x1 box per pixel: 115200 vertices, more than the first buffer
    // holds. The last boxes (top row) are green.
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            renderer_->SetColor(y == kHeight - 1 ? 0 : 255, y == kHeight - 1 ? 255 : 0, 0, 255);
            renderer_->FillRect(x, y, x + 1, y + 1);
        }
    }
    renderer_->Render();
    EXPECT_GT(renderer_->BufferBytes(), BatchRenderer::kInitialBufferBytes);
    EXPECT_EQ(renderer_->LastDrawCalls(), 1);
    EXPECT_EQ(Pixel(0, 0), kRed);
    EXPECT_EQ(Pixel(kWidth / 2, kHeight / 2), kRed);
    EXPECT_EQ(Pixel(kWidth - 1, kHeight - 2), kRed);
    EXPECT_EQ(Pixel(0, kHeight - 1), kGreen);
    EXPECT_EQ(Pixel(kWidth - 1, kHeight - 1), kGreen);
}

TEST_F(BatchRendererGl, ACallbackGroupLeavesLaterBatchesInPlace) {
    int calls = 0;
    for (int frame = 0; frame < 2; ++frame) {
        glClear(GL_COLOR_BUFFER_BIT);
        renderer_->SetDepth(-1);
        if (frame == 0) renderer_->SetDrawCallback([&](Effect*) { ++calls; });
        renderer_->SetColor(0, 255, 0, 255);
        renderer_->FillRect(0, 0, kWidth, kHeight);  // into the callback's group
        renderer_->SetDepth(1);
        renderer_->SetColor(255, 0, 0, 255);
        renderer_->FillRect(40, 30, 80, 60);
        renderer_->Render();
        SCOPED_TRACE(frame);
        EXPECT_EQ(Pixel(60, 45), kRed);
        EXPECT_EQ(Pixel(10, 10), frame == 0 ? kBlack : kGreen);
    }
    EXPECT_EQ(calls, 1);
}

TEST_F(BatchRendererGl, TexturedShapesWithoutColourFillShowTheTexture) {
    // Texel rows from the bottom: red, green / blue, white.
    const unsigned char texels[] = {255, 0, 0,   255, 0,   255, 0,   255,
                                    0,   0, 255, 255, 255, 255, 255, 255};
    GLuint texture = MakeTexture(2, 2, GL_RGBA, texels);
    renderer_->SetColor(255, 255, 255, 255);
    renderer_->SetTexture(texture);
    renderer_->DrawTexture(0, 0, kWidth, kHeight);
    renderer_->Render();
    EXPECT_EQ(Pixel(kWidth / 4, kHeight / 4), kRed);
    EXPECT_EQ(Pixel(3 * kWidth / 4, kHeight / 4), kGreen);
    EXPECT_EQ(Pixel(kWidth / 4, 3 * kHeight / 4), kBlue);
    glDeleteTextures(1, &texture);
}

// Batches are drawn as their triangles with area only: every shape kind,
// overlapping and half transparent (so that the order shows), turned and
// textured, must give the window the strips' very pixels.
TEST_F(BatchRendererGl, OnlyTrianglesWithAreaAreDrawnAndThePixelsStayTheSame) {
    const unsigned char texels[] = {255, 0, 0,   200, 0,   255, 0,   90,
                                    0,   0, 255, 255, 255, 255, 255, 30};
    GLuint texture = MakeTexture(2, 2, GL_RGBA, texels);
    auto frame = [&] {
        glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        for (int i = 0; i < 400; ++i) {
            renderer_->SetColor(i * 7 % 256, i * 13 % 256, i * 29 % 256, 96 + i % 160);
            renderer_->FillRect(i * 37 % kWidth - 6, i * 53 % kHeight - 6, i * 37 % kWidth + 7,
                                i * 53 % kHeight + 5);
        }
        renderer_->SetColor(250, 240, 10, 140);
        renderer_->SetPivot(80, 60);
        renderer_->SetRotation(0.7f);
        renderer_->FillRect(-30, -20, 35, 25);
        renderer_->SetRotation(0.0f);
        renderer_->SetPivot(0, 0);
        renderer_->FillCircle(100, 70, 30);
        renderer_->FillSector(40, 90, 25, 30.0f, 250.0f);
        renderer_->DrawRectOutline(10, 10, 150, 110, 3);
        renderer_->BeginColorFill();
        renderer_->DrawLine(0, 0, kWidth, kHeight);
        renderer_->DrawLine(5, 5, 5, 5);  // no length: nothing
        renderer_->FillTriangle(20, 100, 60, 115, 30, 70);
        renderer_->EndColorFill();
        renderer_->SetTexture(texture);
        renderer_->DrawTexture(90, 10, 150, 50);
        renderer_->DrawTextureRegion(60, 60, 61, 90, 0.0f, 0.0f, 0.5f, 1.0f);
        renderer_->Render();
        return WindowPixels();
    };
    const std::vector<unsigned char> areas = frame();
    renderer_->SetDrawWholeStrips(true);
    const std::vector<unsigned char> strips = frame();
    renderer_->SetDrawWholeStrips(false);
    EXPECT_TRUE(areas == strips);
    EXPECT_NE(Pixel(100, 70), (Rgb{25, 51, 76}));  // the shapes did draw
    glDeleteTextures(1, &texture);
}

namespace {
GlyphMetrics solidGlyphs[256];
GLuint solidTexture = 0;
bool FindSolidFont(int index, FontFace& out) {
    if (index != 0) return false;
    out.texture = solidTexture;
    out.textureWidth = 8;
    out.textureHeight = 8;
    out.size = 8.0f;
    out.glyphs = solidGlyphs;
    return true;
}
}  // namespace

TEST_F(BatchRendererGl, TextDrawsThroughTheTextShader) {
    unsigned char coverage[64];
    std::fill(std::begin(coverage), std::end(coverage), 255);
    solidTexture = MakeTexture(8, 8, GL_RED, coverage);
    solidGlyphs[int('A')] = {8.0f, 0.0f, 8.0f, 8.0f, 0.0f, 8.0f, 0.0f, 0.0f};
    SetFontProvider({FindSolidFont, nullptr});
    renderer_->SetColor(0, 0, 255, 255);
    renderer_->SetFont(0);
    renderer_->SetTextFlipped(true);
    std::string log = TestSupport::CaptureStdout([&] { renderer_->DrawText(20, 30, "AA"); });
    EXPECT_EQ(log.rfind("Shader(Custom Shader) compile info:\n", 0), 0u) << log;
    renderer_->Render();
    SetFontProvider({});
    // With y up the glyphs rise from the baseline (y + size = 38) by their
    // bitmap top: both span y 38 to 46.
    EXPECT_EQ(Pixel(24, 42), kBlue);
    EXPECT_EQ(Pixel(32, 42), kBlue);
    EXPECT_EQ(Pixel(24, 36), kBlack);
    glDeleteTextures(1, &solidTexture);
}

// What a font's texture holds, one byte a texel, rows from the top.
std::vector<unsigned char> FontTexels(const Font& face) {
    std::vector<unsigned char> texels(size_t(face.textureWidth) * size_t(face.textureHeight));
    glBindTexture(GL_TEXTURE_2D, face.texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

// Text following a moving camera lands between whole pixels and is filtered
// linearly: nothing of the glyph beside it in the font's texture may show.
// On each row of a glyph, every pixel whose texture sample lies wholly right
// of the row's last inked texel keeps the background, up to a few pixels
// beyond the glyph.
TEST_F(BatchRendererGl, TextBetweenWholePixelsShowsNothingRightOfEachGlyph) {
    InstallFontRegistryProvider();
    const int font = GetFont("Consola", 8);
    ASSERT_NE(font, -1);
    const Font* face = GetFontByIndex(font);
    const std::vector<unsigned char> texels = FontTexels(*face);

    const Rgb background{40, 80, 120};
    const char characters[] = "rt)";
    constexpr int kSpacing = 40, kPenY = 40;
    int probedInside = 0;
    for (float fraction : {0.25f, 0.5f, 0.75f}) {
        renderer_->SetView(glm::translate(glm::mat4(1.0f), glm::vec3(fraction, 0.0f, 0.0f)));
        renderer_->SetDepth(-1);
        renderer_->SetColor(background.r, background.g, background.b, 255);
        renderer_->FillRect(-10, -10, kWidth + 10, kHeight + 10);
        renderer_->SetDepth(0);
        renderer_->SetColor(255, 255, 255, 255);
        renderer_->SetFont(font);
        renderer_->SetTextFlipped(true);
        for (int i = 0; characters[i]; ++i) {
            const char text[2] = {characters[i], 0};
            renderer_->DrawText(10 + kSpacing * i, kPenY, text);
        }
        renderer_->Render();
        for (int i = 0; characters[i]; ++i) {
            const Glyph& glyph = face->glyphs[static_cast<unsigned char>(characters[i])];
            const int width = int(glyph.width), height = int(glyph.height);
            const int firstTexel = int(std::lround(glyph.u * float(face->textureWidth)));
            const int firstRow = int(std::lround(glyph.v * float(face->textureHeight)));
            const float left = 10.0f + kSpacing * i + fraction + glyph.left;
            // The last pixel column whose centre lies inside the glyph's quad.
            const int lastColumn = int(std::ceil(left + glyph.width - 0.5f)) - 1;
            // With y up, bitmap row 0 is the glyph's top row.
            const int topRow = int(kPenY + face->size + glyph.top) - 1;
            for (int r = 0; r < height; ++r) {
                const unsigned char* row =
                    &texels[size_t(firstRow + r) * size_t(face->textureWidth)];
                int inked = width - 1;
                while (inked >= 0 && row[firstTexel + inked] == 0) --inked;
                // Column c samples the texture at c + 0.5 - left: from here on
                // the sample only mixes texels right of the last inked one.
                const int first = int(std::ceil(left + float(inked) + 1.0f));
                if (first <= lastColumn) ++probedInside;
                for (int column = first; column <= lastColumn + 4; ++column) {
                    ASSERT_EQ(Pixel(column, topRow - r), background)
                        << characters[i] << " at +" << fraction << ", bitmap row " << r
                        << ", column " << column - lastColumn << " from its right edge";
                }
            }
        }
    }
    // Some probes fall inside the glyphs' quads, where a neighbour would show.
    EXPECT_GT(probedInside, 0);
    SetFontProvider({});
    FontRegistry::Clear();
}

// A font far too large for one row of glyphs in a texture: each glyph is
// drawn from its own place, so what reaches the screen (at half size) is
// the glyph's own bitmap, wherever its row lies in the texture.
TEST_F(BatchRendererGl, LargeTextDrawsEachGlyphFromItsOwnBitmap) {
    InstallFontRegistryProvider();
    const int font = GetFont("Arial", 150);
    ASSERT_NE(font, -1);
    const Font* face = GetFontByIndex(font);
    const std::vector<unsigned char> texels = FontTexels(*face);
    renderer_->SetProjection(
        glm::ortho(0.0f, 2.0f * kWidth, 0.0f, 2.0f * kHeight, -100.0f, 100.0f));
    constexpr int kCorner = 20;  // the glyph's bitmap starts here, in units
    for (const char character : {'H', 'g', '@'}) {
        const Glyph& glyph = face->glyphs[static_cast<unsigned char>(character)];
        const int width = int(glyph.width), height = int(glyph.height);
        const int left = int(std::lround(glyph.u * float(face->textureWidth)));
        const int top = int(std::lround(glyph.v * float(face->textureHeight)));
        // The bitmap's texel, 0 outside it.
        auto texel = [&](int column, int row) -> int {
            if (column < 0 || row < 0 || column >= width || row >= height) return 0;
            return texels[size_t(top + row) * size_t(face->textureWidth) + size_t(left + column)];
        };
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        renderer_->SetColor(255, 255, 255, 255);
        renderer_->SetFont(font);
        renderer_->SetTextFlipped(true);
        const char text[2] = {character, 0};
        // With y up the bitmap's top row lies at pen y + size + top.
        renderer_->DrawText(kCorner - int(glyph.left),
                            kCorner + height - int(face->size) - int(glyph.top), text);
        renderer_->Render();
        int inked = 0, blank = 0;
        for (int py = 0; py < kHeight; ++py) {
            for (int px = 0; px < kWidth; ++px) {
                // The pixel's centre in bitmap texels (rows from the top).
                const int column = 2 * px + 1 - kCorner, row = kCorner + height - (2 * py + 1);
                int lowest = 255, highest = 0;
                for (int dy = -2; dy <= 1; ++dy) {
                    for (int dx = -2; dx <= 1; ++dx) {
                        lowest = std::min(lowest, texel(column + dx, row + dy));
                        highest = std::max(highest, texel(column + dx, row + dy));
                    }
                }
                if (lowest == 255) {
                    ++inked;
                    ASSERT_GE(Pixel(px, py).r, 200) << character << " at " << px << ", " << py;
                } else if (highest == 0) {
                    ++blank;
                    ASSERT_LE(Pixel(px, py).r, 30) << character << " at " << px << ", " << py;
                }
            }
        }
        EXPECT_GT(inked, 20) << character;
        EXPECT_GT(blank, 20) << character;
    }
    SetFontProvider({});
    FontRegistry::Clear();
}

// Font textures have no mipmaps: text drawn at half its size must look the
// same as with them, since the font's filters never sample a smaller level.
TEST_F(BatchRendererGl, ShrunkTextLooksTheSameWithOrWithoutMipmaps) {
    InstallFontRegistryProvider();
    const int font = GetFont("Consola", 8);
    ASSERT_NE(font, -1);
    renderer_->SetProjection(
        glm::ortho(0.0f, 2.0f * kWidth, 0.0f, 2.0f * kHeight, -100.0f, 100.0f));
    auto frame = [&] {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        renderer_->SetColor(255, 255, 255, 255);
        renderer_->SetFont(font);
        renderer_->SetTextFlipped(true);
        for (int line = 0; line < 8; ++line) {
            renderer_->DrawText(4, 20 + 28 * line, "The quick brown fox, 0123456789 @#&");
        }
        renderer_->Render();
        return WindowPixels();
    };
    const std::vector<unsigned char> plain = frame();
    // Black is three zero bytes of four: less than that, some text shows.
    EXPECT_LT(std::count(plain.begin(), plain.end(), 0), std::ptrdiff_t(plain.size() * 3 / 4));
    glBindTexture(GL_TEXTURE_2D, GetFontByIndex(font)->texture);
    glGenerateMipmap(GL_TEXTURE_2D);
    EXPECT_EQ(frame(), plain);
    SetFontProvider({});
    FontRegistry::Clear();
}

TEST_F(BatchRendererGl, TargetLayersDrawBeforeTheScreenAndFollowTheSize) {
    RenderTarget target;
    target.Create(kWidth, kHeight);
    renderer_->SetTarget(&target);
    renderer_->SetColor(255, 0, 0, 255);
    renderer_->FillRect(0, 0, kWidth, kHeight);
    renderer_->SetTarget(nullptr);
    renderer_->SetTexture(target.texture);
    renderer_->DrawTexture(0, 0, kWidth, kHeight);
    renderer_->Render();
    EXPECT_EQ(Pixel(kWidth / 2, kHeight / 2), kRed);

    // Clear empties the layer targets too.
    renderer_->Clear();
    renderer_->SetTexture(target.texture);
    renderer_->DrawTexture(0, 0, kWidth, kHeight);
    renderer_->Render();
    EXPECT_EQ(Pixel(kWidth / 2, kHeight / 2), kBlack);

    renderer_->SetSize(64, 32);
    EXPECT_EQ(target.width, 64);
    EXPECT_EQ(target.height, 32);
    target.Destroy();
}

TEST_F(BatchRendererGl, EffectsWithOneProgramShareAGroup) {
    Effect* a = new Effect();
    Effect* b = new Effect();
    TestSupport::CaptureStdout([&] { EffectLink(a); });
    b->program = a->program;
    renderer_->SetEffect(a);
    EXPECT_EQ(renderer_->GroupIndex(), 1u);
    renderer_->SetEffect(nullptr);
    EXPECT_EQ(renderer_->GroupIndex(), 0u);
    renderer_->SetEffect(b);
    EXPECT_EQ(renderer_->GroupIndex(), 1u);
    EXPECT_EQ(renderer_->Layers()[0].depths[0].groups.size(), 2u);
    b->program = 0;  // the program is a's
    delete a;
    delete b;
}

TEST_F(BatchRendererGl, OutlivingTheContextIsSafe) {
    renderer_->FillRect(0, 0, 10, 10);
    renderer_->Render();
    EndContext();
    int calls = 0;
    renderer_->SetDrawCallback([&](Effect*) { ++calls; });
    renderer_->FillRect(0, 0, 10, 10);
    renderer_->Clear();
    renderer_->SetSize(10, 10);
    renderer_->Render();
    EXPECT_EQ(calls, 1);
    delete renderer_;
    renderer_ = nullptr;
}
