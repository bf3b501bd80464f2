// The tile layer's GL buffers as a map load leaves them, and a tileset image
// that is there but is no image.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdint>
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
        gl_->ActAsGameWindow();
        InitLua();
    }
    void TearDown() override {
        level_.reset();
        if (gl_) {
            GameWindow = nullptr;
            SetForeignGlContext(false);
            gl_.reset();
        }
        EngineFixture::TearDown();
    }

    // A map of one layer holding these ids over a 64 x 64 tileset of
    // 16 x 16 tiles in `image`; loaded into a new level, what it printed.
    std::string LoadMap(int columns, int rows, const std::vector<uint32_t>& ids,
                        const std::string& image) {
        dir.Write("Resources/Levels/map.tmx",
                  "<map orientation=\"orthogonal\">\n"
                  "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\">"
                  "<image source=\"" + image + "\"/></tileset>\n"
                  "<layer name=\"g\" width=\"" + std::to_string(columns) + "\" height=\"" +
                      std::to_string(rows) + "\"><data encoding=\"base64\" compression=\"zlib\">" +
                      TestSupport::TileLayerData(ids) + "</data></layer>\n</map>\n");
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

    std::unique_ptr<TestSupport::GlContext> gl_;
    std::unique_ptr<GenericTileLevel> level_;
};

TEST_F(TileMeshGl, ALoadedLayerHoldsWhatTileByTileWritesWould) {
    std::vector<std::vector<uint8_t>> pixels(64 * 64, {40, 80, 120, 255});
    dir.Write("Resources/Levels/tiles.png", TestSupport::MakePng(64, 64, pixels));
    // Empty cells, flipped ids and ids past the tileset's 16 tiles among them.
    const int columns = 37, rows = 23;
    std::vector<uint32_t> ids;
    for (int i = 0; i < columns * rows; ++i) {
        uint32_t id = uint32_t(i * 7919 % 21);
        ids.push_back(i % 5 == 0 ? id | 0x80000000u : id);
    }
    ASSERT_EQ(LoadMap(columns, rows, ids, "tiles.png"), "");
    const TileWrapper& loaded = level_->Tiles();
    ASSERT_TRUE(loaded.HasTiles());
    const std::string vertices = Contents(GL_ARRAY_BUFFER, loaded.VertexBuffer());
    const std::string indices = Contents(GL_ELEMENT_ARRAY_BUFFER, loaded.IndexBuffer());
    EXPECT_EQ(vertices.size(), size_t(columns * rows * 64));
    EXPECT_EQ(indices.size(), size_t(columns * rows * 24));

    // The same layer written one tile at a time into uploaded, zeroed buffers.
    TileWrapper byTile;
    byTile.SetTileSize(16, 16);
    byTile.LoadTileset("Resources/Levels/tiles.png");
    ASSERT_TRUE(byTile.CreateBuffers(columns, rows));
    byTile.Upload();
    for (size_t i = 0; i < ids.size(); ++i) {
        uint32_t id = ids[i] & 0x1fffffffu;
        if (id != 0) byTile.AddTile(int(i / columns), int(i % columns), int(id - 1));
    }
    EXPECT_EQ(byTile.Tiles().size(), loaded.Tiles().size());
    EXPECT_TRUE(vertices == Contents(GL_ARRAY_BUFFER, byTile.VertexBuffer()));
    EXPECT_TRUE(indices == Contents(GL_ELEMENT_ARRAY_BUFFER, byTile.IndexBuffer()));

    // Placed last cell first before the one upload, and cell 0 (empty in
    // the map) twice: the last tile placed in a cell wins, as with writes
    // one at a time.
    ASSERT_EQ(ids[0] & 0x1fffffffu, 0u);
    TileWrapper backwards;
    backwards.SetTileSize(16, 16);
    backwards.SetImageSize(loaded.ImageWidth(), loaded.ImageHeight());
    ASSERT_TRUE(backwards.CreateBuffers(columns, rows));
    backwards.AddTile(0, 0, 3);
    for (size_t i = ids.size(); i-- > 0;) {
        uint32_t id = ids[i] & 0x1fffffffu;
        if (id != 0) backwards.AddTile(int(i / columns), int(i % columns), int(id - 1));
    }
    backwards.AddTile(0, 0, 0);
    backwards.Upload();
    const TileQuad first = TileWrapper::ComputeQuad(0, 0, 0, columns, 16, 16, 64, 64);
    std::string expected = vertices;
    expected.replace(0, 64, reinterpret_cast<const char*>(first.vertices), 64);
    EXPECT_TRUE(expected == Contents(GL_ARRAY_BUFFER, backwards.VertexBuffer()));
    expected = indices;
    expected.replace(0, 24, reinterpret_cast<const char*>(first.indices), 24);
    EXPECT_TRUE(expected == Contents(GL_ELEMENT_ARRAY_BUFFER, backwards.IndexBuffer()));
}

TEST_F(TileMeshGl, ATilesetImageThatIsNoImageIsNamed) {
    dir.Write("Resources/Levels/broken.png", "these bytes are no picture");
    std::string printed = LoadMap(2, 1, {1, 2}, "broken.png");
    EXPECT_EQ(printed,
              "Level file Resources/Levels/map.tmx: tileset image Resources/Levels/broken.png "
              "could not be read: no tiles\n");
    EXPECT_FALSE(level_->Tiles().HasTiles());
}

}  // namespace
