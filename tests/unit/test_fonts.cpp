// Font lookup and the font registry (no window: glyph metrics only).
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

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
