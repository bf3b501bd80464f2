// The tile layer's GL buffers as a map load leaves them, and a tileset image
// that is there but is no image.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Graphics/Window.h"
#include "World/GenericTileLevel.h"
#include "support/GlContext.h"
#include "support/TestData.h"
#include "unit/engine_fixture.h"

namespace {

class TileMeshGl : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        gl_ = std::make_unique<TestSupport::GlContext>(64, 64, false);
        ASSERT_TRUE(gl_->Ok()) << "no display";
        SetForeignGlContext(true);
        InitLua();
    }
    void TearDown() override {
        level_.reset();
        SetForeignGlContext(false);
        gl_.reset();
        EngineFixture::TearDown();
    }

    // A map of one layer of these ids over `image` (16 x 16 tiles unless
    // given); what loading it printed.
    std::string LoadMap(int columns, int rows, const std::vector<uint32_t>& ids,
                        const std::string& image, const std::string& tileSize = "16") {
        dir.Write("Resources/Levels/map.tmx",
                  "<map orientation=\"orthogonal\"><tileset name=\"tiles\" tilewidth=\"" +
                      tileSize + "\" tileheight=\"" + tileSize + "\"><image source=\"" + image +
                      "\"/></tileset><layer width=\"" + std::to_string(columns) + "\" height=\"" +
                      std::to_string(rows) + "\"><data encoding=\"base64\" compression=\"zlib\">" +
                      TestSupport::TileLayerData(ids) + "</data></layer></map>\n");
        level_ = std::make_unique<GenericTileLevel>();
        return TestSupport::CaptureStdout([&] { level_->Load("map.tmx"); });
    }

    static std::string Contents(GLenum target, unsigned buffer) {
        glBindBuffer(target, buffer);
        GLint size = 0;
        glGetBufferParameteriv(target, GL_BUFFER_SIZE, &size);
        std::string bytes(size_t(size), '\0');
        glGetBufferSubData(target, 0, size, bytes.data());
        return bytes;
    }
    static std::string Buffers(const TileWrapper& tiles) {
        return Contents(GL_ARRAY_BUFFER, tiles.VertexBuffer()) +
               Contents(GL_ELEMENT_ARRAY_BUFFER, tiles.IndexBuffer());
    }

    std::unique_ptr<TestSupport::GlContext> gl_;
    std::unique_ptr<GenericTileLevel> level_;
};

TEST_F(TileMeshGl, ALoadedLayerHoldsWhatTileByTileWritesWould) {
    std::vector<std::vector<uint8_t>> pixels(64 * 64, {40, 80, 120, 255});
    dir.Write("Resources/Levels/tiles.png", TestSupport::MakePng(64, 64, pixels));
    // Empty cells (cell 0 among them), flipped ids and ids past the
    // tileset's 16 tiles.
    const int columns = 37, rows = 23;
    std::vector<uint32_t> ids;
    for (int i = 0; i < columns * rows; ++i) {
        uint32_t id = uint32_t(i * 7919 % 21);
        ids.push_back(i % 5 == 0 ? id | 0x80000000u : id);
    }
    ASSERT_EQ(LoadMap(columns, rows, ids, "tiles.png"), "");
    const std::string loaded = Buffers(level_->Tiles());
    EXPECT_EQ(loaded.size(), size_t(columns * rows * (64 + 24)));

    // The same tiles written one at a time into uploaded, zeroed buffers;
    // and placed last cell first before the upload, with cell 0 placed twice
    // (the last one placed wins).
    TileWrapper byTile, backwards;
    for (TileWrapper* tiles : {&byTile, &backwards}) {
        tiles->SetTileSize(16, 16);
        tiles->SetImageSize(64, 64);
        ASSERT_TRUE(tiles->CreateBuffers(columns, rows));
    }
    byTile.Upload();
    backwards.AddTile(0, 0, 3);
    for (size_t i = 0, j = ids.size() - 1; i < ids.size(); ++i, --j) {
        if (uint32_t id = ids[i] & 0x1fffffffu)
            byTile.AddTile(int(i / columns), int(i % columns), int(id - 1));
        if (uint32_t id = ids[j] & 0x1fffffffu)
            backwards.AddTile(int(j / columns), int(j % columns), int(id - 1));
    }
    backwards.AddTile(0, 0, 0);
    backwards.Upload();
    EXPECT_TRUE(Buffers(byTile) == loaded);
    std::string expected = loaded;
    const TileQuad first = TileWrapper::ComputeQuad(0, 0, 0, columns, 16, 16, 64, 64);
    expected.replace(0, 64, reinterpret_cast<const char*>(first.vertices), 64);
    expected.replace(size_t(columns * rows * 64), 24, reinterpret_cast<const char*>(first.indices),
                     24);
    EXPECT_TRUE(Buffers(backwards) == expected);
}

TEST_F(TileMeshGl, ATilesetImageThatIsNoImageIsNamed) {
    dir.Write("Resources/Levels/broken.png", "these bytes are no picture");
    EXPECT_EQ(LoadMap(2, 1, {1, 2}, "broken.png"),
              "Level file Resources/Levels/map.tmx: tileset image Resources/Levels/broken.png "
              "could not be read (Image not of any known type, or corrupt): no tiles\n");
    EXPECT_FALSE(level_->Tiles().HasTiles());
}

TEST_F(TileMeshGl, TilesLargerThanTheirImageAreNamed) {
    std::vector<std::vector<uint8_t>> pixels(32 * 16, {40, 80, 120, 255});
    dir.Write("Resources/Levels/wide.png", TestSupport::MakePng(32, 16, pixels));
    // Too wide and too high; narrow enough but too high.
    for (const std::string size : {"64", "20"}) {
        EXPECT_EQ(LoadMap(2, 1, {1, 2}, "wide.png", size),
                  "Level file Resources/Levels/map.tmx: tileset \"tiles\" has a tile size of " +
                      size + " x " + size +
                      ", larger than its image Resources/Levels/wide.png of 32 x 16: no tiles\n");
        EXPECT_FALSE(level_->Tiles().HasTiles());
    }
}

}  // namespace
