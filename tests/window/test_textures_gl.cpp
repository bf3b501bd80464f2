// Image loading, the texture atlas and the Lua face of MetaPoint, with a
// real GL context under the test display.
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Graphics/MetaPoint.h"
#include "Graphics/TextureAtlas.h"
#include "Graphics/TextureInfo.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/LuaState.h"
#include "System/Source/MemoryPool.h"
#include "support/GlContext.h"
#include "support/TestSupport.h"
#include "unit/test_lua_support.h"

namespace {

using Pixel = std::vector<uint8_t>;  // one pixel: 3 or 4 channels

void PutBigEndian(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(char((value >> shift) & 0xFF));
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    PutBigEndian(out, static_cast<uint32_t>(
                          crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
}

// A PNG of `width` x `height` pixels given row by row from the top, each
// with `channels` bytes (3: RGB, 4: RGBA).
std::string MakePng(int width, int height, int channels, const std::vector<Pixel>& pixels) {
    std::string raw;
    for (int row = 0; row < height; ++row) {
        raw.push_back('\0');  // no filter
        for (int col = 0; col < width; ++col) {
            for (uint8_t byte : pixels[size_t(row * width + col)]) raw.push_back(char(byte));
        }
    }
    uLongf packedSize = compressBound(raw.size());
    std::string packed(packedSize, '\0');
    compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
             reinterpret_cast<const Bytef*>(raw.data()), raw.size());
    packed.resize(packedSize);

    std::string header;
    PutBigEndian(header, uint32_t(width));
    PutBigEndian(header, uint32_t(height));
    header += char(8);                      // bits per channel
    header += char(channels == 4 ? 6 : 2);  // RGBA or RGB
    header += std::string(3, '\0');         // compression, filter, interlace
    std::string png = "\x89PNG\r\n\x1a\n";
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", "");
    return png;
}

// A single-colour RGBA image.
std::string SolidPng(int width, int height, Pixel rgba) {
    return MakePng(width, height, 4, std::vector<Pixel>(size_t(width * height), rgba));
}

// The RGBA texels of level 0 of a texture, rows from the bottom.
std::vector<uint8_t> ReadTexture(unsigned texture, int width, int height) {
    std::vector<uint8_t> texels(size_t(width * height * 4));
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glBindTexture(GL_TEXTURE_2D, GLuint(previous));
    return texels;
}

Pixel TexelAt(const std::vector<uint8_t>& texels, int width, int x, int row) {
    size_t at = size_t(row * width + x) * 4;
    return Pixel(texels.begin() + long(at), texels.begin() + long(at + 4));
}

GLint TextureParameter(unsigned texture, GLenum name) {
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    glBindTexture(GL_TEXTURE_2D, 0);
    return value;
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
    std::string Image(const std::string& name, const std::string& png) {
        return dir.Write(name, png);
    }

    TestSupport::TempDir dir;
    std::unique_ptr<TestSupport::GlContext> gl;
};

}  // namespace

TEST_F(TexturesGl, LoadsAnImageWithItsSizeRowsAndSampling) {
    // Three channels and an odd width: rows are not four-byte aligned.
    std::vector<Pixel> pixels;
    for (int i = 0; i < 15; ++i) pixels.push_back({uint8_t(i * 10), uint8_t(255 - i), 7});
    std::string path = Image("odd.png", MakePng(3, 5, 3, pixels));

    TextureInfo info;
    info.u = 0.5f;
    info.dv = 0.25f;
    LoadTexture(path.c_str(), info);
    ASSERT_NE(info.texture, 0u);
    EXPECT_EQ(info.width, 3);
    EXPECT_EQ(info.height, 5);
    EXPECT_FALSE(info.owns);
    EXPECT_EQ(info.u, 0.5f);  // the region is left alone
    EXPECT_EQ(info.dv, 0.25f);
    EXPECT_EQ(TextureParameter(info.texture, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    EXPECT_EQ(TextureParameter(info.texture, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    EXPECT_EQ(TextureParameter(info.texture, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
    EXPECT_EQ(TextureParameter(info.texture, GL_TEXTURE_WRAP_T), GL_CLAMP_TO_EDGE);

    // Rows are inverted: the file's top row is the texture's last row.
    std::vector<uint8_t> texels = ReadTexture(info.texture, 3, 5);
    for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < 3; ++col) {
            const Pixel& want = pixels[size_t((4 - row) * 3 + col)];
            EXPECT_EQ(TexelAt(texels, 3, col, row), (Pixel{want[0], want[1], want[2], 255}))
                << col << "," << row;
        }
    }
    glDeleteTextures(1, &info.texture);

    // The path is found whatever the case of its letters.
    std::string upper = dir.Path() + "/ODD.PNG";
    TextureInfo again;
    LoadTexture(upper.c_str(), again);
    EXPECT_NE(again.texture, 0u);
    EXPECT_EQ(again.width, 3);
    glDeleteTextures(1, &again.texture);
}

TEST_F(TexturesGl, AMissingFileGivesNoTexture) {
    TextureInfo info;
    info.width = 9;
    LoadTexture((dir.Path() + "/none.png").c_str(), info);
    EXPECT_EQ(info.texture, 0u);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    LoadTexture(nullptr, info);
    EXPECT_EQ(info.texture, 0u);
}

TEST_F(TexturesGl, OnlyTheOwningRecordDeletesItsTexture) {
    std::string first = Image("a.png", SolidPng(2, 2, {1, 2, 3, 255}));
    std::string second = Image("b.png", SolidPng(4, 4, {4, 5, 6, 255}));

    TextureInfo owner;
    owner.owns = true;
    LoadTexture(first.c_str(), owner);
    unsigned firstTexture = owner.texture;
    ASSERT_TRUE(glIsTexture(firstTexture));
    {
        TextureInfo copy = owner;
        EXPECT_FALSE(copy.owns);
        EXPECT_EQ(copy.texture, firstTexture);
        TextureInfo assigned;
        assigned = owner;
        EXPECT_FALSE(assigned.owns);
    }
    EXPECT_TRUE(glIsTexture(firstTexture));  // copies gone, texture alive

    // Loading again into the owner deletes the first texture.
    LoadTexture(second.c_str(), owner);
    EXPECT_TRUE(owner.owns);
    EXPECT_EQ(owner.width, 4);
    EXPECT_NE(owner.texture, firstTexture);
    EXPECT_FALSE(glIsTexture(firstTexture));

    // A move hands the ownership over; the emptied record deletes nothing.
    unsigned secondTexture = owner.texture;
    {
        TextureInfo taken = std::move(owner);
        EXPECT_TRUE(taken.owns);
        EXPECT_FALSE(owner.owns);
    }
    EXPECT_FALSE(glIsTexture(secondTexture));

    // Assigning over an owning record frees what it owned, except when the
    // source names the same texture.
    TextureInfo holder;
    holder.MakeFresh();
    unsigned fresh = holder.texture;
    EXPECT_TRUE(holder.owns);
    glBindTexture(GL_TEXTURE_2D, fresh);  // a generated name becomes a texture when bound
    glBindTexture(GL_TEXTURE_2D, 0);
    ASSERT_TRUE(glIsTexture(fresh));
    holder = TextureInfo(holder);
    EXPECT_TRUE(glIsTexture(fresh));
    EXPECT_FALSE(holder.owns);
    holder.owns = true;
    holder = TextureInfo();
    EXPECT_FALSE(glIsTexture(fresh));

    // Reset and Release end the ownership too.
    TextureInfo reset;
    reset.MakeFresh();
    glBindTexture(GL_TEXTURE_2D, reset.texture);
    glBindTexture(GL_TEXTURE_2D, 0);
    unsigned resetTexture = reset.texture;
    reset.u = 0.5f;
    reset.Reset();
    EXPECT_FALSE(glIsTexture(resetTexture));
    EXPECT_EQ(reset.texture, 0u);
    EXPECT_EQ(reset.u, 0.0f);
    EXPECT_EQ(reset.du, 1.0f);
}

TEST_F(TexturesGl, AtlasCopiesTexelsExactlyAndRestoresTheDrawingState) {
    // Pixels from the top-left, one of them half transparent.
    std::vector<Pixel> pixels = {
        {200, 100, 50, 128}, {10, 20, 30, 255}, {0, 0, 0, 0}, {255, 255, 255, 1}};
    std::string path = Image("edge.png", MakePng(2, 2, 4, pixels));

    TextureAtlas atlas(64);
    ASSERT_EQ(atlas.PageCount(), 1);
    ASSERT_EQ(atlas.PageSide(0), 64);
    const int side = 64;

    // The drawing state of a frame in progress: blending, depth test, a
    // shader, a tint and a viewport of its own.
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
    glColor4f(0.5f, 0.25f, 1.0f, 0.5f);
    glViewport(1, 2, 30, 40);

    // Names are handed out in increasing order: whatever the atlas made
    // between these two probes must be gone again.
    GLuint before = 0;
    glGenTextures(1, &before);
    TextureInfo image = atlas.GetImage(path.c_str());
    GLuint after = 0;
    glGenTextures(1, &after);
    EXPECT_GT(after, before + 1);  // the file was loaded into a texture
    for (GLuint name = before + 1; name < after; ++name) {
        EXPECT_FALSE(glIsTexture(name)) << "temporary texture " << name << " left behind";
    }
    glDeleteTextures(1, &before);
    glDeleteTextures(1, &after);

    EXPECT_EQ(image.texture, atlas.PageTexture(0));
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 2);
    EXPECT_FALSE(image.owns);
    EXPECT_FLOAT_EQ(image.u, 0.25f / side);
    EXPECT_FLOAT_EQ(image.v, (side - 2 + 0.25f) / side);

    // The state is as it was.
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(GLuint(current), program);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLint framebuffer = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    EXPECT_EQ(framebuffer, 0);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 1);
    EXPECT_EQ(viewport[3], 40);
    GLfloat color[4] = {};
    glGetFloatv(GL_CURRENT_COLOR, color);
    EXPECT_FLOAT_EQ(color[1], 0.25f);
    glUseProgram(0);
    glDeleteProgram(program);
    glDeleteShader(shader);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);

    // The image's top-left pixel sits at the page's top-left corner; page
    // rows count from the bottom. The half-transparent pixel is unchanged.
    std::vector<uint8_t> page = ReadTexture(atlas.PageTexture(0), side, side);
    EXPECT_EQ(TexelAt(page, side, 0, side - 1), pixels[0]);
    EXPECT_EQ(TexelAt(page, side, 1, side - 1), pixels[1]);
    EXPECT_EQ(TexelAt(page, side, 0, side - 2), pixels[2]);
    EXPECT_EQ(TexelAt(page, side, 1, side - 2), pixels[3]);
    EXPECT_EQ(TexelAt(page, side, 2, side - 1), (Pixel{0, 0, 0, 0}));  // the page starts clear
}

TEST_F(TexturesGl, AtlasHandsOutEachFileOnceAndFallsBackSafely) {
    std::string a = Image("a.png", SolidPng(16, 16, {255, 0, 0, 255}));
    std::string b = Image("b.png", SolidPng(8, 8, {0, 255, 0, 255}));
    std::string big = Image("big.png", SolidPng(20, 10, {0, 0, 255, 255}));
    TextureAtlas atlas(16);
    ASSERT_EQ(atlas.PageSide(0), 16);

    // A missing file gets the default record and takes no room.
    TextureInfo missing = atlas.GetImage((dir.Path() + "/gone.png").c_str());
    EXPECT_EQ(missing.texture, 0u);
    EXPECT_EQ(missing.width, 0);
    EXPECT_EQ(missing.u, 0.0f);
    EXPECT_EQ(missing.du, 1.0f);
    EXPECT_EQ(missing.dv, 1.0f);
    EXPECT_EQ(atlas.GetImage(nullptr).texture, 0u);

    TextureInfo first = atlas.GetImage(a.c_str());
    EXPECT_EQ(first.texture, atlas.PageTexture(0));
    EXPECT_FLOAT_EQ(first.u, 0.25f / 16);  // the missing file took no room
    // The same name again: the stored record, not a second load (the file
    // is gone by now).
    std::remove(a.c_str());
    TextureInfo again = atlas.GetImage(a.c_str());
    EXPECT_EQ(again.texture, first.texture);
    EXPECT_EQ(again.u, first.u);
    EXPECT_EQ(again.v, first.v);
    EXPECT_EQ(again.width, 16);

    // Larger than a page: its own texture, whole, and no page touched.
    TextureInfo large = atlas.GetImage(big.c_str());
    ASSERT_NE(large.texture, 0u);
    EXPECT_NE(large.texture, atlas.PageTexture(0));
    EXPECT_EQ(large.width, 20);
    EXPECT_EQ(large.u, 0.0f);
    EXPECT_EQ(large.dv, 1.0f);
    EXPECT_FALSE(large.owns);
    EXPECT_EQ(atlas.PageCount(), 1);

    // The full page gets a successor.
    TextureInfo second = atlas.GetImage(b.c_str());
    ASSERT_EQ(atlas.PageCount(), 2);
    EXPECT_EQ(second.texture, atlas.PageTexture(1));
    EXPECT_NE(second.texture, first.texture);
    std::vector<uint8_t> page = ReadTexture(atlas.PageTexture(1), 16, 16);
    EXPECT_EQ(TexelAt(page, 16, 0, 15), (Pixel{0, 255, 0, 255}));
}

TEST_F(TexturesGl, AtlasPagesAreCappedAndFreedWithTheAtlas) {
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    auto atlas = std::make_unique<TextureAtlas>();
    EXPECT_EQ(atlas->PageSide(0), std::min(maxSide / 2, TextureAtlas::kDefaultPageSideCap));
    unsigned page = atlas->PageTexture(0);
    EXPECT_TRUE(glIsTexture(page));
    atlas.reset();
    EXPECT_FALSE(glIsTexture(page));
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
        EXPECT_NE(owner.texture, 0u);
        SetForeignGlContext(false);
    }
    // The context and GLFW are gone: these must not call into GL.
    atlas.reset();
    owner.Reset();
    TextureInfo later;
    LoadTexture(path.c_str(), later);
    EXPECT_EQ(later.texture, 0u);
    TextureAtlas noPages;
    EXPECT_EQ(noPages.PageCount(), 0);
    EXPECT_EQ(noPages.GetImage(path.c_str()).texture, 0u);
}

// ---- MetaPoint in Lua ----

class MetaPointLua : public LuaFixture {
protected:
    void SetUp() override {
        // Points are served from a pool so that its counters show deletions.
        ASSERT_NE(System::CreateEnginePool(1 << 20), nullptr);
        LuaFixture::SetUp();
        // The two registration steps, in the game's order: the class table,
        // then the global function that replaces it under the same name.
        System::RegisterClassTable<MetaPoint>("MetaPoint", MetaPoint::LuaNew);
        RegisterLuaFunction(MetaPoint::LuaCreate, "MetaPoint");
    }
    void TearDown() override {
        LuaFixture::TearDown();
        System::ShutdownEnginePool();
    }
    uint32_t Alive() { return System::GetEnginePool()->alive; }
};

TEST_F(MetaPointLua, TheGlobalFunctionReplacesTheClassTable) {
    EXPECT_EQ(Run("assert(type(MetaPoint) == 'function')"), "");
    EXPECT_EQ(Run("assert(type(debug.getregistry()['class MetaPoint']) == 'table')"), "");

    // "new" of the class table: a point at the origin, properties writable.
    EXPECT_EQ(Run("p = debug.getregistry()['class MetaPoint']:new()"), "");
    EXPECT_TRUE(True("p.x == 0"));
    EXPECT_TRUE(True("p.y == 0"));
    EXPECT_EQ(Run("p.x = 2.5"), "");
    EXPECT_TRUE(True("p.x == 2.5"));
    std::string error = Run("debug.getregistry()['class MetaPoint'].new()");
    EXPECT_NE(error.find("Got 0 arguments, expected 1 (class)"), std::string::npos) << error;
}

TEST_F(MetaPointLua, PointsMadeByTheFunctionReadTheirArgumentsAndDieWithTheirUserdata) {
    EXPECT_EQ(Run("q = MetaPoint(3, 4)"), "");
    EXPECT_TRUE(True("q.x == 3"));
    EXPECT_TRUE(True("q.y == 4"));
    // The metatable holds only the reader and the collector.
    EXPECT_EQ(Run("local n = 0 for k in pairs(getmetatable(q)) do n = n + 1 end "
                  "assert(n == 2 and getmetatable(q).__newindex == nil)"),
              "");
    EXPECT_NE(Run("q.x = 1"), "");  // read only: a script error, not a crash
    EXPECT_TRUE(True("q.x == 3"));
    // Missing or non-number arguments read as 0.
    EXPECT_EQ(Run("r = MetaPoint()"), "");
    EXPECT_TRUE(True("r.x + r.y == 0"));
    EXPECT_EQ(Run("s = MetaPoint('a', 7)"), "");
    EXPECT_TRUE(True("s.x == 0"));
    EXPECT_TRUE(True("s.y == 7"));

    // Every point a script drops is deleted when Lua collects it.
    EXPECT_EQ(Run("q, r, s = nil, nil, nil collectgarbage('collect')"), "");
    uint32_t before = Alive();
    EXPECT_EQ(Run("kept = {} for i = 1, 50 do kept[i] = MetaPoint(i, -i) end"), "");
    EXPECT_GT(Alive(), before + 50);
    EXPECT_TRUE(True("kept[50].y == -50"));
    EXPECT_EQ(Run("kept = nil collectgarbage('collect')"), "");
    EXPECT_EQ(Alive(), before);
    // Calling the collector by hand leaves the point unreachable, not freed twice.
    EXPECT_EQ(Run("local p = MetaPoint(1, 2) getmetatable(p).__gc(p) getmetatable(p).__gc(p) "
                  "collectgarbage('collect')"),
              "");
    EXPECT_EQ(Alive(), before);
}
