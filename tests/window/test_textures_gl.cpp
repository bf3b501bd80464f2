// Image loading, the texture atlas and the Lua face of MetaPoint, with a
// real GL context under the test display.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Graphics/MetaPoint.h"
#include "Graphics/TextureAtlas.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/MemoryPool.h"
#include "support/GlContext.h"
#include "support/TestData.h"
#include "support/TestSupport.h"
#include "unit/test_lua_support.h"

namespace {

using Pixel = std::vector<uint8_t>;  // 3 (RGB) or 4 (RGBA) bytes

using TestSupport::MakePng;

std::string SolidPng(int width, int height, Pixel rgba) {
    return MakePng(width, height, std::vector<Pixel>(size_t(width * height), rgba));
}

// The RGBA texels of a texture of the given size, rows from the bottom.
std::vector<Pixel> Texels(unsigned texture, int width, int height) {
    std::vector<uint8_t> bytes(size_t(width * height * 4));
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    std::vector<Pixel> texels;
    for (auto at = bytes.begin(); at != bytes.end(); at += 4) texels.emplace_back(at, at + 4);
    return texels;
}

// The texel (x, row) of a texture of the given width, rows from the bottom.
Pixel Texel(unsigned texture, int width, int height, int x, int row) {
    return Texels(texture, width, height)[size_t(row * width + x)];
}

class TexturesGl : public ::testing::Test {
protected:
    void SetUp() override {
        gl = std::make_unique<TestSupport::GlContext>(64, 64, false);
        ASSERT_TRUE(gl->Ok()) << "no display";
        SetForeignGlContext(true);
    }
    void TearDown() override {
        SetForeignGlContext(false);
        gl.reset();
    }

    TestSupport::TempDir dir;
    std::unique_ptr<TestSupport::GlContext> gl;
};

}  // namespace

TEST_F(TexturesGl, LoadsImagesWithTheirSizeAndRowsUpsideDown) {
    // Three channels and an odd width: the rows are not four-byte aligned.
    std::vector<Pixel> pixels;
    for (int i = 0; i < 15; ++i) pixels.push_back({uint8_t(i * 10), uint8_t(255 - i), 7});
    std::string path = dir.Write("odd.png", MakePng(3, 5, pixels));
    TextureInfo info;
    info.u = 0.5f;
    LoadTexture(path.c_str(), info);
    ASSERT_NE(info.texture, 0u);
    EXPECT_EQ(info.width, 3);
    EXPECT_EQ(info.height, 5);
    EXPECT_EQ(info.u, 0.5f);  // the region is left alone
    for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < 3; ++col) {
            const Pixel& want = pixels[size_t((4 - row) * 3 + col)];  // the file's top row last
            EXPECT_EQ(Texel(info.texture, 3, 5, col, row), (Pixel{want[0], want[1], want[2], 255}));
        }
    }
    glDeleteTextures(1, &info.texture);

    TextureInfo missing;
    LoadTexture((dir.Path() + "/none.png").c_str(), missing);
    EXPECT_EQ(missing.texture, 0u);
    EXPECT_EQ(missing.width + missing.height, 0);

    // A folder is refused with one line before the image library sees it.
    TextureInfo folder;
    std::string printed =
        TestSupport::CaptureStdout([&] { LoadTexture(dir.Path().c_str(), folder); });
    EXPECT_EQ(printed, "Image " + dir.Path() + " is not a file\n");
    EXPECT_EQ(folder.texture, 0u);
}

// The image fuzz target's seeds (scripts/make-image-corpus.py): valid files
// of each format drawn from one picture, and files that must not load,
// named "bad_..." (sizes huge, negative, overflowing; cut short) and
// "other_..." (formats the game does not load).
std::string Seed(const std::string& name) {
    return std::string(TAZZLE_SOURCE_DIR) + "/tests/fuzz/corpus/image/" + name;
}

TEST_F(TexturesGl, EachFormatLoadsItsSizeAndPixelsRowsUpsideDown) {
    // The picture, top row first. A grey texture reads back with its grey
    // in red (GL's rule for luminance); it draws grey.
    const std::vector<Pixel> colour = {{255, 0, 0, 255},     {0, 255, 0, 255}, {0, 0, 255, 255},
                                       {255, 255, 255, 255}, {0, 0, 0, 255},   {255, 255, 0, 255}};
    const uint8_t alphas[] = {255, 170, 85, 0, 255, 51};
    const uint8_t greys[] = {0, 85, 170, 255, 51, 204};
    std::vector<Pixel> alpha, grey, greyAlpha, jpeg, colourJpeg, rowsJpeg;
    for (size_t i = 0; i < 6; ++i) {
        alpha.push_back({colour[i][0], colour[i][1], colour[i][2], alphas[i]});
        grey.push_back({greys[i], 0, 0, 255});
        greyAlpha.push_back({greys[i], 0, 0, alphas[i]});
    }
    for (int i = 0; i < 16 * 8; ++i) {
        const uint8_t level = i % 16 < 8 ? 64 : 192;
        jpeg.push_back({level, 0, 0, 255});
        colourJpeg.push_back({level, level, level, 255});
        rowsJpeg.push_back({uint8_t(i < 64 ? 64 : 192), 0, 0, 255});  // 8 x 16
    }
    // 256 x 256, each row and column of its own, whole and interlaced: the
    // last row and the last pass are read as the rest. The interlaced one is
    // transposed: freed memory holding the other does not pass for it.
    std::vector<Pixel> pattern, transposed;
    for (int i = 0; i < 256 * 256; ++i) {
        const uint8_t x = uint8_t(i % 256), y = uint8_t(i / 256);
        pattern.push_back({x, y, uint8_t(x ^ y), uint8_t(255 - x)});
        transposed.push_back({y, x, uint8_t(x ^ y), uint8_t(255 - y)});
    }
    const std::string large = dir.Write("large.png", MakePng(256, 256, pattern));
    const std::string largeInterlaced =
        dir.Write("large_interlaced.png", MakePng(256, 256, transposed, true));
    struct Case {
        const char* file;
        int width, height;
        const std::vector<Pixel>& topRowFirst;
    };
    const Case cases[] = {
        {"colour.png", 3, 2, colour},      {"colour_alpha.png", 3, 2, alpha},
        {"grey.png", 3, 2, grey},          {"grey_alpha.png", 3, 2, greyAlpha},
        {"palette.png", 3, 2, colour},     {"colour.bmp", 3, 2, colour},
        {"top_down.bmp", 3, 2, colour},    {"colour_alpha.bmp", 3, 2, alpha},
        {"colour.tga", 3, 2, colour},      {"colour_alpha_rle.tga", 3, 2, alpha},
        {"grey.tga", 3, 2, grey},          {"grey.jpg", 16, 8, jpeg},
        {"colour_16bit.png", 3, 2, colour}, {"colour.jpg", 16, 8, colourJpeg},
        {"rows.jpg", 8, 16, rowsJpeg},     {"colour_chunks.png", 3, 2, colour},
        {"colour_alpha_surplus.png", 3, 2, alpha},
        {"colour_alpha_interlaced_surplus.png", 3, 2, alpha},
        {large.c_str(), 256, 256, pattern},
        {largeInterlaced.c_str(), 256, 256, transposed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TextureInfo info;
        info.owns = true;
        std::string path = std::filesystem::path(Seed("")) / c.file;  // or c.file, when absolute
        EXPECT_EQ(TestSupport::CaptureStdout([&] { LoadTexture(path.c_str(), info); }), "");
        ASSERT_EQ(info.width, c.width);
        ASSERT_EQ(info.height, c.height);
        const std::vector<Pixel> texels = Texels(info.texture, c.width, c.height);
        const auto Ints = [](const Pixel& p) { return std::vector<int>(p.begin(), p.end()); };
        int wrong = 0;
        for (int row = 0; row < c.height; ++row) {
            for (int x = 0; x < c.width; ++x) {
                const Pixel& want = c.topRowFirst[size_t((c.height - 1 - row) * c.width + x)];
                const Pixel& got = texels[size_t(row * c.width + x)];
                // The first wrong texel of a picture, and how many there are.
                if (got != want && wrong++ == 0) {
                    ADD_FAILURE() << "the texel at x " << x << ", row " << row
                                  << " from the bottom is " << testing::PrintToString(Ints(got))
                                  << ", not " << testing::PrintToString(Ints(want));
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(TexturesGl, AnImageThatCannotBeLoadedGivesNoTextureAndOneLine) {
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    ASSERT_GE(maxSide, 10000);  // the pixel limit's case is within a side
    ASSERT_LT(maxSide, 40000);
    const std::vector<std::pair<std::string, std::string>> causes = {
        {"bad_bmp_tall.bmp",
         "it is 1 x 40000 pixels, more than the largest texture side here, " +
             std::to_string(maxSide)},
        {"bad_png_many_pixels.png",
         "it is 10000 x 10000 pixels, more than the 67108864 pixels an image may have"},
        {"other_one_pixel.gif", "Image not of any known type, or corrupt"},
        {"bad_bmp_zero_height.bmp", "its header gives a size of 3 x 0 pixels"},
        {"bad_tga_short_by_one.tga", "the file is too short for its 128 x 64 pixels"},
        {"bad_png_text_length.png",
         "the file ends inside its tEXt chunk, which claims 2147483632 bytes"},
        {"bad_png_cut_in_crc.png", "the file ends inside its IHDR chunk, which claims 13 bytes"},
    };
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Seed(""))) {
        std::string name = entry.path().filename().string();
        if (name.rfind("bad_", 0) == 0 || name.rfind("other_", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_GE(names.size(), 30u);
    TextureInfo info;
    info.owns = true;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        LoadTexture(Seed("colour.png").c_str(), info);
        const unsigned previous = info.texture;
        std::string path = Seed(name);
        std::string printed =
            TestSupport::CaptureStdout([&] { LoadTexture(path.c_str(), info); });
        EXPECT_EQ(info.texture, 0u);
        EXPECT_EQ(info.width + info.height, 0);
        EXPECT_FALSE(glIsTexture(previous));
        std::string head = "Image " + path + " cannot be loaded: ";
        ASSERT_EQ(printed.rfind(head, 0), 0u) << printed;
        EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
        for (const auto& [file, cause] : causes) {
            if (file == name) {
                EXPECT_EQ(printed, head + cause + "\n");
            }
        }
    }
}

TEST_F(TexturesGl, OnlyTheOwningRecordDeletesItsTexture) {
    std::string first = dir.Write("a.png", SolidPng(2, 2, {1, 2, 3, 255}));
    std::string second = dir.Write("b.png", SolidPng(4, 4, {4, 5, 6, 255}));
    TextureInfo owner;
    owner.owns = true;
    LoadTexture(first.c_str(), owner);
    unsigned firstTexture = owner.texture;
    {
        TextureInfo copy = owner;
        TextureInfo assigned;
        assigned = owner;
        EXPECT_FALSE(copy.owns || assigned.owns);
    }
    EXPECT_TRUE(glIsTexture(firstTexture));

    LoadTexture(second.c_str(), owner);
    EXPECT_TRUE(owner.owns);
    EXPECT_EQ(owner.width, 4);
    EXPECT_FALSE(glIsTexture(firstTexture));

    // Assigning a copy of itself keeps the texture alive; a move hands the
    // ownership over.
    unsigned secondTexture = owner.texture;
    owner = TextureInfo(owner);
    EXPECT_TRUE(glIsTexture(secondTexture));
    owner.owns = true;
    {
        TextureInfo taken = std::move(owner);
        EXPECT_TRUE(taken.owns && !owner.owns);
    }
    EXPECT_FALSE(glIsTexture(secondTexture));
}

TEST_F(TexturesGl, AtlasCopiesTexelsExactlyAndRestoresTheDrawingState) {
    std::vector<Pixel> pixels = {
        {200, 100, 50, 128}, {10, 20, 30, 255}, {0, 0, 0, 0}, {255, 255, 255, 1}};
    std::string path = dir.Write("edge.png", MakePng(2, 2, pixels));
    TextureAtlas atlas(64);

    // A frame in progress: blending, depth test, a shader, a viewport.
    GLuint program = glCreateProgram();
    GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
    const char* source = "void main() { gl_FragColor = vec4(1.0, 0.0, 1.0, 1.0); }";
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    glAttachShader(program, shader);
    glLinkProgram(program);
    glUseProgram(program);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_DEPTH_TEST);
    glViewport(1, 2, 30, 40);

    // GL hands out names in increasing order: whatever the atlas made
    // between these two probes, but for the page the first image made, must
    // be gone again.
    GLuint before = 0;
    GLuint after = 0;
    glGenTextures(1, &before);
    TextureInfo image = atlas.GetImage(path.c_str());
    glGenTextures(1, &after);
    ASSERT_EQ(atlas.PageCount(), 1);
    ASSERT_EQ(atlas.PageSide(0), 64);
    EXPECT_GT(after, before + 2);
    for (GLuint name = before + 1; name < after; ++name) {
        if (name == atlas.PageTexture(0)) continue;
        EXPECT_FALSE(glIsTexture(name)) << name;
    }

    EXPECT_EQ(image.texture, atlas.PageTexture(0));
    EXPECT_FLOAT_EQ(image.v, (64 - 2 + 0.25f) / 64);
    GLint current = 0;
    GLint framebuffer = -1;
    GLint viewport[4] = {};
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(GLuint(current), program);
    EXPECT_EQ(framebuffer, 0);
    EXPECT_EQ(viewport[3], 40);
    EXPECT_TRUE(glIsEnabled(GL_BLEND) && glIsEnabled(GL_DEPTH_TEST));
    glUseProgram(0);
    glDeleteProgram(program);
    glDeleteShader(shader);

    // The image's top-left pixel is at the page's top-left corner (page rows
    // count from the bottom); the half-transparent pixel is unchanged.
    unsigned page = atlas.PageTexture(0);
    EXPECT_EQ(Texel(page, 64, 64, 0, 63), pixels[0]);
    EXPECT_EQ(Texel(page, 64, 64, 1, 63), pixels[1]);
    EXPECT_EQ(Texel(page, 64, 64, 0, 62), pixels[2]);
    EXPECT_EQ(Texel(page, 64, 64, 1, 62), pixels[3]);
    EXPECT_EQ(Texel(page, 64, 64, 2, 63), (Pixel{0, 0, 0, 0}));
}

TEST_F(TexturesGl, AtlasLoadsEachFileOnceAndFallsBackSafely) {
    std::string a = dir.Write("a.png", SolidPng(16, 16, {255, 0, 0, 255}));
    std::string b = dir.Write("b.png", SolidPng(8, 8, {0, 255, 0, 255}));
    std::string big = dir.Write("big.png", SolidPng(20, 10, {0, 0, 255, 255}));
    auto atlas = std::make_unique<TextureAtlas>(16);

    // A missing file: the default record, and no room taken.
    TextureInfo missing = atlas->GetImage((dir.Path() + "/gone.png").c_str());
    EXPECT_EQ(missing.texture, 0u);
    EXPECT_EQ(missing.width, 0);
    EXPECT_EQ(missing.du, 1.0f);
    EXPECT_EQ(atlas->GetImage(nullptr).texture, 0u);
    // Nor a page: the first one is made for the first image packed.
    EXPECT_EQ(atlas->PageCount(), 0);
    TextureInfo first = atlas->GetImage(a.c_str());
    EXPECT_FLOAT_EQ(first.u, 0.25f / 16);

    // Asked again (the file is gone by now): the stored record.
    std::remove(a.c_str());
    TextureInfo again = atlas->GetImage(a.c_str());
    EXPECT_EQ(again.texture, first.texture);
    EXPECT_EQ(again.v, first.v);

    // Larger than a page: its own texture, whole; no page touched.
    TextureInfo large = atlas->GetImage(big.c_str());
    EXPECT_NE(large.texture, atlas->PageTexture(0));
    EXPECT_EQ(large.width, 20);
    EXPECT_EQ(large.u + large.v, 0.0f);
    EXPECT_EQ(atlas->PageCount(), 1);

    // The full page gets a successor.
    TextureInfo second = atlas->GetImage(b.c_str());
    ASSERT_EQ(atlas->PageCount(), 2);
    EXPECT_EQ(second.texture, atlas->PageTexture(1));
    EXPECT_EQ(Texel(second.texture, 16, 16, 0, 15), (Pixel{0, 255, 0, 255}));

    // The atlas frees its textures; pages are capped.
    atlas.reset();
    EXPECT_FALSE(glIsTexture(first.texture) || glIsTexture(large.texture));
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    TextureAtlas capped;
    capped.GetImage(b.c_str());
    ASSERT_EQ(capped.PageCount(), 1);
    EXPECT_EQ(capped.PageSide(0), std::min(maxSide / 2, TextureAtlas::kDefaultPageSideCap));
}

TEST(TexturesWithoutContext, NothingTouchesGlOnceTheContextIsGone) {
    TestSupport::TempDir dir;
    std::string path = dir.Write("a.png", SolidPng(2, 2, {1, 2, 3, 4}));
    std::unique_ptr<TextureAtlas> atlas;
    TextureInfo owner;
    {
        TestSupport::GlContext gl(32, 32, false);
        ASSERT_TRUE(gl.Ok()) << "no display";
        SetForeignGlContext(true);
        atlas = std::make_unique<TextureAtlas>(32);
        EXPECT_NE(atlas->GetImage(path.c_str()).texture, 0u);
        owner.owns = true;
        LoadTexture(path.c_str(), owner);
        SetForeignGlContext(false);
    }
    atlas.reset();
    owner.Reset();
    TextureInfo later;
    LoadTexture(path.c_str(), later);
    EXPECT_EQ(later.texture, 0u);
    EXPECT_EQ(TextureAtlas().GetImage(path.c_str()).texture, 0u);
}

class MetaPointLua : public LuaFixture {
protected:
    void SetUp() override {
        // Points come from a pool, whose counters show that they are deleted.
        ASSERT_NE(System::CreateEnginePool(1 << 20), nullptr);
        LuaFixture::SetUp();
        // The game's two registration steps: the class table, then the
        // global function that replaces it under the same name.
        System::RegisterClassTable<MetaPoint>("MetaPoint", MetaPoint::LuaNew);
        RegisterLuaFunction(MetaPoint::LuaCreate, "MetaPoint");
    }
    void TearDown() override {
        LuaFixture::TearDown();
        System::ShutdownEnginePool();
    }
};

TEST_F(MetaPointLua, TheFunctionMakesPointsThatLuaDeletes) {
    EXPECT_TRUE(True("type(MetaPoint) == 'function'"));
    EXPECT_EQ(Run("p = debug.getregistry()['class MetaPoint']:new() p.x = 2.5"), "");
    EXPECT_TRUE(True("p.x == 2.5 and p.y == 0"));
    EXPECT_EQ(Error("debug.getregistry()['class MetaPoint'].new()"),
              "Got 0 arguments, expected 1 (class)");

    EXPECT_EQ(Run("q = MetaPoint(3, 4) r = MetaPoint() s = MetaPoint('a', 7)"), "");
    EXPECT_TRUE(True("q.x == 3 and q.y == 4 and r.x == 0 and s.x == 0 and s.y == 7"));
    EXPECT_NE(Run("q.x = 1"), "");  // read only: a script error
    EXPECT_EQ(Run("q, r, s = nil collectgarbage('collect')"), "");

    uint32_t before = System::GetEnginePool()->alive;
    EXPECT_EQ(Run("kept = {} for i = 1, 50 do kept[i] = MetaPoint(i, -i) end"), "");
    EXPECT_GT(System::GetEnginePool()->alive, before + 50);
    EXPECT_TRUE(True("kept[50].y == -50"));
    // A collector called by hand first leaves nothing to free twice.
    EXPECT_EQ(Run("getmetatable(kept[1]).__gc(kept[1]) kept = nil collectgarbage('collect')"), "");
    EXPECT_EQ(System::GetEnginePool()->alive, before);
}
