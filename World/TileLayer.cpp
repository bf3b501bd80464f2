#include "World/TileLayer.h"

#include <GL/glew.h>

#include <algorithm>
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
    pendingVertices_ = {};
    pendingIndices_ = {};
}

bool TileWrapper::ValidLayerSize(int columns, int rows) {
    return columns > 0 && rows > 0 && columns <= kMaxSide && rows <= kMaxSide &&
           int64_t(columns) * rows <= kMaxCells;
}

TileQuad TileWrapper::ComputeQuad(int row, int column, int index, int columns, int tileWidth,
                                  int tileHeight, int imageWidth, int imageHeight) {
    int perRow = imageWidth / tileWidth;
    float uStep = float(tileWidth) / float(imageWidth);
    float vStep = float(tileHeight) / float(imageHeight);
    float hu = kTexelInset / float(imageWidth);
    float hv = kTexelInset / float(imageHeight);
    float u0 = float(index % perRow) * uStep;
    float vTop = 1.0f - float(index / perRow) * vStep;
    float x0 = float(tileWidth * column);
    float y0 = -float(tileHeight * row);
    float x1 = x0 + float(tileWidth);
    float y1 = y0 - float(tileHeight);

    TileQuad quad{};
    quad.vertices[0] = {x0, y0, u0 + hu, vTop - hv};
    quad.vertices[1] = {x0, y1, u0 + hu, vTop - vStep + hv};
    quad.vertices[2] = {x1, y1, u0 + uStep - hu, vTop - vStep + hv};
    quad.vertices[3] = {x1, y0, u0 + uStep - hu, vTop - hv};
    uint32_t base = 4u * uint32_t(row * columns + column);
    const uint32_t order[6] = {0, 1, 2, 2, 3, 0};
    for (int i = 0; i < 6; ++i) quad.indices[i] = base + order[i];
    return quad;
}

void TileWrapper::LoadTileset(const char* path) {
    LoadTexture(path, tileset_);
    // A record that LoadTexture filled owns its new texture.
    if (tileset_.texture != 0) tileset_.owns = true;
    imageWidth_ = tileset_.width;
    imageHeight_ = tileset_.height;
}

int TileWrapper::TilesetCount() const {
    if (tileWidth_ <= 0 || tileHeight_ <= 0 || imageWidth_ <= 0 || imageHeight_ <= 0) return 0;
    return (imageWidth_ / tileWidth_) * (imageHeight_ / tileHeight_);
}

bool TileWrapper::CreateBuffers(int columns, int rows) {
    DeleteBuffers();
    hasTiles_ = false;
    tiles_.clear();
    columns_ = 0;
    rows_ = 0;
    if (!ValidLayerSize(columns, rows)) return false;
    columns_ = columns;
    rows_ = rows;
    if (!TextureGlReady()) return true;

    // Zeroed: empty cells are degenerate triangles at the origin.
    size_t cells = size_t(columns) * size_t(rows);
    pendingVertices_.assign(cells * 4, TileVertex{});
    pendingIndices_.assign(cells * 6, 0u);
    GLuint buffers[2] = {0, 0};
    glGenBuffers(2, buffers);
    vertexBuffer_ = buffers[0];
    indexBuffer_ = buffers[1];
    return true;
}

void TileWrapper::Upload() {
    if (vertexBuffer_ == 0 || pendingVertices_.empty() || !TextureGlReady()) return;
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(pendingVertices_.size() * sizeof(TileVertex)),
                 pendingVertices_.data(), GL_DYNAMIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(pendingIndices_.size() * sizeof(uint32_t)),
                 pendingIndices_.data(), GL_DYNAMIC_DRAW);
    pendingVertices_ = {};
    pendingIndices_ = {};
}

void TileWrapper::WriteQuad(int64_t cell, const TileQuad& quad) {
    if (!pendingVertices_.empty()) {
        std::copy(quad.vertices, quad.vertices + 4, pendingVertices_.begin() + cell * 4);
        std::copy(quad.indices, quad.indices + 6, pendingIndices_.begin() + cell * 6);
        return;
    }
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferSubData(GL_ARRAY_BUFFER, GLintptr(cell * kVertexBytes), kVertexBytes, quad.vertices);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, GLintptr(cell * kIndexBytes), kIndexBytes,
                    quad.indices);
}

bool TileWrapper::AddTile(int row, int column, int index) {
    if (row < 0 || row >= rows_ || column < 0 || column >= columns_) return false;
    if (index < 0 || index >= TilesetCount()) return false;
    tiles_.push_back({row, column, index});
    hasTiles_ = true;
    if (vertexBuffer_ == 0 || !TextureGlReady()) return true;

    TileQuad quad = ComputeQuad(row, column, index, columns_, tileWidth_, tileHeight_, imageWidth_,
                                imageHeight_);
    WriteQuad(int64_t(row) * columns_ + column, quad);
    return true;
}

void TileWrapper::Draw(Effect* effect) {
    if (!hasTiles_ || !effect || vertexBuffer_ == 0 || !TextureGlReady()) return;
    Upload();
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
