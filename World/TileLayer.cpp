#include "World/TileLayer.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Graphics/Effect.h"
#include "Graphics/Renderer.h"

namespace {

constexpr int kVertexBytes = 4 * sizeof(TileVertex);  // one cell's four corners
constexpr int kIndexBytes = 6 * sizeof(uint32_t);     // one cell's two triangles
constexpr float kTexelInset = 0.0078125f;             // 1/128 of a texel on each side

}  // namespace

TileWrapper::~TileWrapper() {
    DeleteBuffers();
}

void TileWrapper::DeleteBuffers() {
    if (vertexBuffer_ != 0 && TextureGlReady()) {
        GLuint buffers[2] = {vertexBuffer_, indexBuffer_};
        glDeleteBuffers(2, buffers);
    }
    vertexBuffer_ = 0;
    indexBuffer_ = 0;
    uploaded_ = false;
}

bool TileWrapper::ValidLayerSize(int columns, int rows) {
    return columns > 0 && rows > 0 && columns <= kMaxSide && rows <= kMaxSide &&
           int64_t(columns) * rows <= kMaxCells;
}

namespace {

// What every quad of one layer shares, worked out once per layer rather
// than once per tile.
struct QuadMaker {
    QuadMaker(int columns, int tileWidth, int tileHeight, int imageWidth, int imageHeight)
        : columns(columns),
          tileWidth(tileWidth),
          tileHeight(tileHeight),
          perRow(imageWidth / tileWidth),
          uStep(float(tileWidth) / float(imageWidth)),
          vStep(float(tileHeight) / float(imageHeight)),
          hu(kTexelInset / float(imageWidth)),
          hv(kTexelInset / float(imageHeight)) {}

    // Where tileset index `index` lies in the image, inset by a fraction of
    // a texel on each side.
    struct Uv {
        float left, right, top, bottom;
    };
    Uv UvOf(int index) const {
        const float u0 = float(index % perRow) * uStep;
        const float vTop = 1.0f - float(index / perRow) * vStep;
        return {u0 + hu, u0 + uStep - hu, vTop - hv, vTop - vStep + hv};
    }

    void Make(int row, int column, const Uv& uv, TileVertex* vertices, uint32_t* indices) const {
        const float x0 = float(tileWidth * column);
        const float y0 = -float(tileHeight * row);
        const float x1 = x0 + float(tileWidth);
        const float y1 = y0 - float(tileHeight);
        vertices[0] = {x0, y0, uv.left, uv.top};
        vertices[1] = {x0, y1, uv.left, uv.bottom};
        vertices[2] = {x1, y1, uv.right, uv.bottom};
        vertices[3] = {x1, y0, uv.right, uv.top};
        const uint32_t base = 4u * uint32_t(row * columns + column);
        indices[0] = base;
        indices[1] = base + 1;
        indices[2] = base + 2;
        indices[3] = base + 2;
        indices[4] = base + 3;
        indices[5] = base;
    }

    int columns, tileWidth, tileHeight, perRow;
    float uStep, vStep, hu, hv;
};

}  // namespace

TileQuad TileWrapper::ComputeQuad(int row, int column, int index, int columns, int tileWidth,
                                  int tileHeight, int imageWidth, int imageHeight) {
    TileQuad quad{};
    const QuadMaker maker(columns, tileWidth, tileHeight, imageWidth, imageHeight);
    maker.Make(row, column, maker.UvOf(index), quad.vertices, quad.indices);
    return quad;
}

void TileWrapper::LoadTileset(const char* path, std::string* failure) {
    LoadTexture(path, tileset_, failure);
    // A record that LoadTexture filled owns its new texture.
    if (tileset_.texture != 0) tileset_.owns = true;
    SetImageSize(tileset_.width, tileset_.height);
}

void TileWrapper::CountTiles() {
    const bool sized = tileWidth_ > 0 && tileHeight_ > 0 && imageWidth_ > 0 && imageHeight_ > 0;
    tilesetCount_ = sized ? (imageWidth_ / tileWidth_) * (imageHeight_ / tileHeight_) : 0;
}

bool TileWrapper::CreateBuffers(int columns, int rows) {
    DeleteBuffers();
    hasTiles_ = false;
    tiles_.clear();
    inCellOrder_ = true;
    columns_ = 0;
    rows_ = 0;
    if (!ValidLayerSize(columns, rows)) return false;
    columns_ = columns;
    rows_ = rows;
    if (!TextureGlReady()) return true;

    GLuint buffers[2] = {0, 0};
    glGenBuffers(2, buffers);
    vertexBuffer_ = buffers[0];
    indexBuffer_ = buffers[1];
    return true;
}

void TileWrapper::FillCells(TileVertex* vertices, uint32_t* indices) const {
    // Empty cells are zeros: degenerate triangles at the origin.
    const size_t cells = size_t(columns_) * size_t(rows_);
    const QuadMaker maker(columns_, tileWidth_, tileHeight_, imageWidth_, imageHeight_);
    // A layer uses few tileset indices many times over: each index's place
    // in the image is worked out once (two integer divisions a tile were
    // most of the fill).
    std::vector<QuadMaker::Uv> uvs;
    if (size_t(tilesetCount_) <= std::max(tiles_.size(), size_t(1024))) {
        uvs.reserve(size_t(tilesetCount_));
        for (int index = 0; index < tilesetCount_; ++index) uvs.push_back(maker.UvOf(index));
    }
    if (!inCellOrder_) {
        std::memset(static_cast<void*>(vertices), 0, cells * kVertexBytes);
        std::memset(indices, 0, cells * kIndexBytes);
    }
    // Tiles placed row by row (as a map is read) are written in one pass,
    // each cell once; otherwise over the zeros, later tiles winning.
    size_t next = 0;
    for (const PlacedTile& tile : tiles_) {
        const size_t cell = size_t(tile.row) * size_t(columns_) + size_t(tile.column);
        if (inCellOrder_) {
            std::memset(static_cast<void*>(vertices + next * 4), 0, (cell - next) * kVertexBytes);
            std::memset(indices + next * 6, 0, (cell - next) * kIndexBytes);
            next = cell + 1;
        }
        const QuadMaker::Uv uv =
            size_t(tile.index) < uvs.size() ? uvs[size_t(tile.index)] : maker.UvOf(tile.index);
        maker.Make(tile.row, tile.column, uv, vertices + cell * 4, indices + cell * 6);
    }
    if (inCellOrder_) {
        std::memset(static_cast<void*>(vertices + next * 4), 0, (cells - next) * kVertexBytes);
        std::memset(indices + next * 6, 0, (cells - next) * kIndexBytes);
    }
}

void TileWrapper::Upload() {
    if (vertexBuffer_ == 0 || uploaded_ || !TextureGlReady()) return;
    // A tileset without tiles (not read, or of zero tile or image size)
    // places none, and its sizes cannot lay out a quad.
    if (tilesetCount_ == 0) return;
    uploaded_ = true;
    const size_t cells = size_t(columns_) * size_t(rows_);
    const GLsizeiptr vertexBytes = GLsizeiptr(cells * kVertexBytes);
    const GLsizeiptr indexBytes = GLsizeiptr(cells * kIndexBytes);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, vertexBytes, nullptr, GL_DYNAMIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, indexBytes, nullptr, GL_DYNAMIC_DRAW);
    // Written in place where the driver lets us, so the layer is not built
    // in memory first and copied.
    const GLbitfield access = GL_MAP_WRITE_BIT;
    void* vertices = glMapBufferRange(GL_ARRAY_BUFFER, 0, vertexBytes, access);
    void* indices =
        vertices ? glMapBufferRange(GL_ELEMENT_ARRAY_BUFFER, 0, indexBytes, access) : nullptr;
    if (vertices && indices) {
        FillCells(static_cast<TileVertex*>(vertices), static_cast<uint32_t*>(indices));
    }
    bool written = vertices && indices;
    if (vertices) written = glUnmapBuffer(GL_ARRAY_BUFFER) == GL_TRUE && written;
    if (indices) written = glUnmapBuffer(GL_ELEMENT_ARRAY_BUFFER) == GL_TRUE && written;
    if (written) return;
    // No mapping (or its contents were lost): build the layer in memory and
    // hand it over whole.
    std::vector<TileVertex> vertexCopy(cells * 4);
    std::vector<uint32_t> indexCopy(cells * 6);
    FillCells(vertexCopy.data(), indexCopy.data());
    glBufferData(GL_ARRAY_BUFFER, vertexBytes, vertexCopy.data(), GL_DYNAMIC_DRAW);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, indexBytes, indexCopy.data(), GL_DYNAMIC_DRAW);
}

bool TileWrapper::AddTile(int row, int column, int index) {
    if (row < 0 || row >= rows_ || column < 0 || column >= columns_) return false;
    if (index < 0 || index >= TilesetCount()) return false;
    if (!tiles_.empty()) {
        const PlacedTile& last = tiles_.back();
        if (row < last.row || (row == last.row && column <= last.column)) inCellOrder_ = false;
    }
    tiles_.push_back({row, column, index});
    hasTiles_ = true;
    if (vertexBuffer_ == 0 || !uploaded_ || !TextureGlReady()) return true;

    const TileQuad quad = ComputeQuad(row, column, index, columns_, tileWidth_, tileHeight_,
                                      imageWidth_, imageHeight_);
    const int64_t cell = int64_t(row) * columns_ + column;
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferSubData(GL_ARRAY_BUFFER, GLintptr(cell * kVertexBytes), kVertexBytes, quad.vertices);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, GLintptr(cell * kIndexBytes), kIndexBytes,
                    quad.indices);
    return true;
}

void TileWrapper::Draw(Effect* effect) {
    if (!hasTiles_ || !effect || vertexBuffer_ == 0 || !TextureGlReady()) return;
    Upload();
    if (!uploaded_) return;
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);

    EffectAddParameter(effect, "vertex")->SetAttribute(2, GL_FLOAT, false, 16, 0);
    EffectAddParameter(effect, "tex")->SetAttribute(2, GL_FLOAT, false, 16, 8);
    EffectAddParameter(effect, "texture")->SetTexture(tileset_.texture);
    glm::mat4 projection = CurrentRenderer ? CurrentRenderer->GetProjection() : glm::mat4(1.0f);
    glm::mat4 view = CurrentRenderer ? CurrentRenderer->GetView() : glm::mat4(1.0f);
    EffectAddParameter(effect, "proj")->SetMatrix(&projection[0][0]);
    EffectAddParameter(effect, "view")->SetMatrix(&view[0][0]);
    EffectAddParameter(effect, "texWidth")->SetInt(imageWidth_);
    EffectAddParameter(effect, "texHeight")->SetInt(imageHeight_);

    EffectApply(effect);
    glDrawElements(GL_TRIANGLES, GLsizei(int64_t(columns_) * rows_ * 6), GL_UNSIGNED_INT, nullptr);
    EffectDisableAttributes(effect);
}
