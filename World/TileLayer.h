// The tile layer of a tile level: one textured quad per non-empty cell of
// the map, kept in a GL vertex buffer and index buffer and drawn with one
// indexed draw call through the level's effect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Graphics/TextureInfo.h"
#include "System/Source/PoolAllocator.h"

class Effect;

// One corner of a tile: world position (one unit per map pixel, y up) and
// its place in the tileset image.
struct TileVertex {
    float x, y, u, v;
};

// What one cell writes into the buffers.
struct TileQuad {
    TileVertex vertices[4];
    uint32_t indices[6];
};

// A tile that was placed in the layer.
struct PlacedTile {
    int row, column, index;
};

class TileWrapper {
public:
    // Layers larger than this are refused (the buffers take 88 bytes a cell).
    static constexpr int kMaxSide = 65536;
    static constexpr int64_t kMaxCells = int64_t(1) << 20;

    TileWrapper() = default;
    // Deletes the buffers and, when the layer owns it, the tileset texture.
    ~TileWrapper();
    TileWrapper(const TileWrapper&) = delete;
    TileWrapper& operator=(const TileWrapper&) = delete;

    static bool ValidLayerSize(int columns, int rows);

    // The quad of tileset index `index` at (row, column) for a layer of
    // `columns` columns.
    static TileQuad ComputeQuad(int row, int column, int index, int columns, int tileWidth,
                                int tileHeight, int imageWidth, int imageHeight);

    void SetTileSize(int width, int height) {
        tileWidth_ = width;
        tileHeight_ = height;
        CountTiles();
    }
    // Loads the tileset image; its size becomes the image size. Why it
    // could not be loaded goes to `failure` (see LoadTexture).
    void LoadTileset(const char* path, std::string* failure = nullptr);
    // The image size without loading one (an image already in hand).
    void SetImageSize(int width, int height) {
        imageWidth_ = width;
        imageHeight_ = height;
        CountTiles();
    }
    // Tiles the tileset holds (0 when its image or tile size is missing).
    int TilesetCount() const { return tilesetCount_; }

    // Sizes the layer for columns x rows cells and makes the buffers' names.
    // Refuses (false, layer left empty) a size that is not positive or too
    // large.
    bool CreateBuffers(int columns, int rows);
    // Places the cell's quad; false (nothing placed) for a cell outside the
    // layer or an index outside the tileset. Until Upload the quad is only
    // recorded; after it, it goes straight into the GL buffers.
    bool AddTile(int row, int column, int index);
    // Room for `count` tiles, when the caller knows how many are coming.
    void ReserveTiles(size_t count) { tiles_.reserve(count); }
    // Fills the GL buffers in one pass: the quads of the tiles placed so far
    // and zeros for empty cells, which then draw nothing. Draw does it when
    // the loader did not.
    void Upload();
    // Draws the layer with `effect` (the renderer's draw callback).
    void Draw(Effect* effect);

    bool HasTiles() const { return hasTiles_; }
    int Columns() const { return columns_; }
    int Rows() const { return rows_; }
    int ImageWidth() const { return imageWidth_; }
    int ImageHeight() const { return imageHeight_; }
    unsigned VertexBuffer() const { return vertexBuffer_; }
    unsigned IndexBuffer() const { return indexBuffer_; }
    const TextureInfo& Tileset() const { return tileset_; }
    const System::Vector<PlacedTile>& Tiles() const { return tiles_; }

private:
    void DeleteBuffers();
    void CountTiles();
    void FillCells(TileVertex* vertices, uint32_t* indices) const;

    unsigned vertexBuffer_ = 0;
    unsigned indexBuffer_ = 0;
    bool hasTiles_ = false;
    int imageWidth_ = 0;
    int imageHeight_ = 0;
    int tileWidth_ = 0;
    int tileHeight_ = 0;
    int tilesetCount_ = 0;  // kept, as every placed tile is checked against it
    TextureInfo tileset_;
    int columns_ = 0;
    int rows_ = 0;
    System::Vector<PlacedTile> tiles_;
    // Whether the buffers hold their contents yet. Filling them once is
    // what makes a large map load quickly: two GL calls per tile cost more
    // than everything else a load does.
    bool uploaded_ = false;
    // Whether every tile so far lies after the one placed before it.
    bool inCellOrder_ = true;
};
