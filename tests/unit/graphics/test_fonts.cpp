// Font lookup and the font registry (no window: glyph metrics only).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "Graphics/Font.h"
#include "support/TestSupport.h"

namespace {

// Runs from the project root, where the game's font aliases live.
class FontTest : public ::testing::Test {
protected:
    void SetUp() override {
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
        oldCwd = cwd;
        ASSERT_EQ(chdir(TAZZLE_SOURCE_DIR), 0);
        FontRegistry::Clear();
    }
    void TearDown() override {
        FontRegistry::Clear();
        EXPECT_EQ(chdir(oldCwd.c_str()), 0);
    }
    std::string oldCwd;
};

}  // namespace

TEST_F(FontTest, OneFontPerLowerCaseNameAndSize) {
    int arial = GetFont("Arial", 12);
    ASSERT_GE(arial, 0) << "the system has no face for Arial";
    EXPECT_EQ(GetFont("arial", 12), arial);
    EXPECT_EQ(GetFont("ARIAL", 12), arial);
    int bigger = GetFont("Arial", 13);
    EXPECT_NE(bigger, arial);
    EXPECT_GE(bigger, 0);
    Font* font = GetFontByIndex(arial);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->size, 12.0f);
    EXPECT_EQ(font->scale, 1.0f);
    EXPECT_GT(font->textureWidth, 0);
    EXPECT_GT(font->textureHeight, 0);
    EXPECT_EQ(GetFontByIndex(-1), nullptr);
    EXPECT_EQ(GetFontByIndex(99), nullptr);
}

TEST_F(FontTest, MeasureTextAddsAdvancesOfUnsignedBytes) {
    Font* font = GetFontByIndex(GetFont("DejaVu Sans", 20));
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(MeasureText(font, ""), 0);
    int a = int(font->glyphs['a'].advanceX);
    int b = int(font->glyphs['b'].advanceX);
    EXPECT_GT(a, 0);
    EXPECT_EQ(MeasureText(font, "ab"), a + b);
    // Bytes above 127 index glyphs 128-255, whatever the locale.
    const char high[] = {char(0xE9), 0};
    EXPECT_EQ(MeasureText(font, high), int(font->glyphs[0xE9].advanceX));
    EXPECT_EQ(MeasureText(nullptr, "ab"), 0);
    // Past the range of int the width saturates instead of wrapping.
    Font wide;
    wide.glyphs['w'].advanceX = 1e6f;
    wide.glyphs['n'].advanceX = -1e6f;
    EXPECT_EQ(MeasureText(&wide, std::string(3000, 'w').c_str()), INT32_MAX);
    EXPECT_EQ(MeasureText(&wide, std::string(3000, 'n').c_str()), INT32_MIN);
}

TEST_F(FontTest, TheGamesMonospaceNameFindsAStandIn) {
    EXPECT_NE(FindFontFile("consola"), "");
    EXPECT_GE(GetFont("Consola", 8), 0);
}

TEST_F(FontTest, AMissingFontGivesMinusOneOnceAndIsRemembered) {
    std::string out = TestSupport::CaptureStdout([] {
        EXPECT_EQ(GetFont("NoSuchFontAnywhere", 10), -1);
        EXPECT_EQ(GetFont("nosuchfontanywhere", 10), -1);
    });
    EXPECT_EQ(out, "Could not create font face.  is probably not a valid font\n");
    EXPECT_EQ(FindFontFile("nosuchfontanywhere"), "");
}

TEST_F(FontTest, AFontFileUnderResourcesIsFound) {
    TestSupport::TempDir dir;
    // A copy of a system face under the game's own name.
    std::string system = FindFontFile("dejavu sans");
    ASSERT_NE(system, "");
    dir.Write("Resources/mygamefont.ttf", TestSupport::ReadFile(system));
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    EXPECT_EQ(FindFontFile("mygamefont"), "Resources/mygamefont.ttf");
    EXPECT_GE(GetFont("MyGameFont", 10), 0);
}

// Large sizes pack their glyphs in rows within the largest texture, with a
// blank texel between any two glyphs and left of and below every glyph
// (filtering reads one texel beyond a glyph); sizes no screen can show are
// drawn at the largest size a screen can, with one line that names the font
// and size.
TEST_F(FontTest, LargeFontsFitOneTextureAndHugeOnesAreClamped) {
    Font* font = GetFontByIndex(GetFont("Arial", 150));
    ASSERT_NE(font, nullptr);
    EXPECT_LE(font->textureWidth, 8192);
    EXPECT_LE(font->textureHeight, 8192);
    struct Box {
        int left, top, right, bottom;
    };
    std::vector<Box> boxes;
    for (const Glyph& glyph : font->glyphs) {
        if (glyph.width == 0.0f || glyph.height == 0.0f) continue;
        const int left = int(std::lround(glyph.u * float(font->textureWidth)));
        const int top = int(std::lround(glyph.v * float(font->textureHeight)));
        const Box box{left, top, left + int(glyph.width), top + int(glyph.height)};
        EXPECT_GE(box.left, 1);
        EXPECT_GE(box.top, 0);
        EXPECT_LT(box.right, font->textureWidth);
        EXPECT_LT(box.bottom, font->textureHeight);
        for (const Box& other : boxes) {
            const bool apart = box.right < other.left || other.right < box.left ||
                               box.bottom < other.top || other.bottom < box.top;
            ASSERT_TRUE(apart) << "no gap between glyphs at " << box.left << ", " << box.top;
        }
        boxes.push_back(box);
    }
    EXPECT_GT(boxes.size(), 200u);

    int huge = -2;
    const std::string out = TestSupport::CaptureStdout([&] {
        huge = GetFont("Arial", 10000);
        EXPECT_EQ(GetFont("Arial", 10000), huge);  // said once
        EXPECT_EQ(GetFont("Arial", -5), GetFont("Arial", 1));
    });
    EXPECT_EQ(out,
              "Font Arial at size 10000 cannot be shown: drawn at size 400\n"
              "Font Arial at size -5 cannot be shown: drawn at size 1\n");
    ASSERT_NE(GetFontByIndex(huge), nullptr);
    EXPECT_EQ(GetFontByIndex(huge)->size, 400.0f);
    EXPECT_EQ(GetFont("Arial", 400), huge);
}
