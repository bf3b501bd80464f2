// The batch renderer's GL side: its vertex buffer and shaders, the upload,
// the draw calls, target binding and clearing.
#include <GL/glew.h>

#include <algorithm>
#include <cstddef>
#include <glm/gtc/type_ptr.hpp>

#include "Graphics/BatchRenderer.h"
#include "Graphics/Effect.h"
#include "Graphics/RenderTarget.h"
#include "Graphics/Window.h"

bool BatchRenderer::GlReady() {
    // No GL call once the context is gone, nor before GLEW has loaded the
    // entry points.
    return HasGlContext() && glGenBuffers != nullptr;
}

unsigned int BatchRenderer::ProgramOf(const Effect* effect) {
    return effect ? effect->program : 0;
}

void BatchRenderer::GlCreate() {
    textEffect_ = new Effect();
    colorEffect_ = new Effect();
    texturedEffect_ = new Effect();

    glGenBuffers(1, &indexBuffer_);
    glGenBuffers(1, &vertexBuffer_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, kInitialBufferBytes, nullptr, GL_STREAM_DRAW);
    bufferBytes_ = kInitialBufferBytes;

    if (colorEffect_) {
        EffectCompileShader(colorEffect_, kColorFragmentSource, 0, false);
        EffectLink(colorEffect_);
    }
    if (texturedEffect_) EffectLink(texturedEffect_);
}

void BatchRenderer::GlDestroy() {
    if (gl_ && vertexBuffer_ && GlReady()) glDeleteBuffers(1, &vertexBuffer_);
    if (gl_ && indexBuffer_ && GlReady()) glDeleteBuffers(1, &indexBuffer_);
    vertexBuffer_ = indexBuffer_ = 0;
    delete textEffect_;
    delete colorEffect_;
    delete texturedEffect_;
    textEffect_ = colorEffect_ = texturedEffect_ = nullptr;
}

Effect* BatchRenderer::GlTextEffect() {
    // The text shader is compiled on the first text drawn.
    if (textEffect_ && !textEffect_->linked) {
        EffectCompileShader(textEffect_, kTextFragmentSource, 0, false);
        EffectLink(textEffect_);
    }
    return textEffect_;
}

void BatchRenderer::GlUpload(std::size_t vertexCount) {
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    // A frame larger than the buffer grows it, so that its last shapes
    // draw too.
    const std::size_t bytes = vertexCount * sizeof(BatchVertex);
    if (bytes > bufferBytes_) {
        bufferBytes_ = std::max(bytes, bufferBytes_ * 2);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bufferBytes_), nullptr,
                     GL_STREAM_DRAW);
    }
    std::size_t offset = 0;
    for (const BatchVertexList* source : sources_) {
        if (!source) continue;
        const std::size_t size = source->size() * sizeof(BatchVertex);
        glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(offset),
                        static_cast<GLsizeiptr>(size), source->data());
        offset += size;
    }
    GlUploadIndices();
}

namespace {

// Two vertices that the vertex stage puts in the same place.
bool SamePlace(const BatchVertex& a, const BatchVertex& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z && a.rotation == b.rotation &&
           a.pivotX == b.pivotX && a.pivotY == b.pivotY;
}

}  // namespace

// Every shape of a batch ends in a pair of copied vertices that join it to
// the next one: two in three triangles of a strip of boxes have no area and
// make no pixel, yet software GL shades, assembles and culls each one. The
// strip's triangles are listed instead, in strip order and with the strip's
// own vertex order (odd triangles swap their first two), leaving out those
// with two vertices in one place: the same triangles reach the same pixels
// in the same order.
void BatchRenderer::GlUploadIndices() {
    indices_.clear();
    indexRanges_.assign(steps_.size(), IndexRange{});
    if (wholeStrips_) return;
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        const BatchVertexList* source = sources_[i];
        const RenderStep& step = steps_[i];
        if (!source || step.kind != RenderStep::Kind::Draw || step.count <= 2) continue;
        indexRanges_[i].offset = indices_.size();
        const BatchVertex* v = source->data();
        const std::size_t drawn = static_cast<std::size_t>(step.count) - 2;
        const uint32_t first = static_cast<uint32_t>(step.first);
        for (std::size_t t = 0; t + 2 < drawn; ++t) {
            if (SamePlace(v[t], v[t + 1]) || SamePlace(v[t + 1], v[t + 2]) ||
                SamePlace(v[t], v[t + 2])) {
                continue;
            }
            const uint32_t a = first + static_cast<uint32_t>(t);
            if (t % 2 == 0) {
                indices_.insert(indices_.end(), {a, a + 1, a + 2});
            } else {
                indices_.insert(indices_.end(), {a + 1, a, a + 2});
            }
        }
        indexRanges_[i].count = indices_.size() - indexRanges_[i].offset;
    }
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indices_.size() * 4),
                 indices_.data(), GL_STREAM_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void BatchRenderer::GlBindTarget(RenderTarget* target) {
    BindRenderTarget(target);
}

bool BatchRenderer::GlDraw(const RenderStep& step, std::size_t index) {
    const bool textured = step.texture != 0;
    Effect* effect = step.effect ? step.effect : textured ? texturedEffect_ : colorEffect_;
    const GLuint program = ProgramOf(effect);
    if (!program) return false;
    EffectApply(effect);

    GLint enabled[6];
    int count = 0;
    auto attribute = [&](const char* name, GLint size, std::size_t offset) {
        const GLint location = glGetAttribLocation(program, name);
        if (location < 0) return;
        glEnableVertexAttribArray(static_cast<GLuint>(location));
        glVertexAttribPointer(static_cast<GLuint>(location), size, GL_FLOAT, GL_FALSE,
                              sizeof(BatchVertex), reinterpret_cast<const void*>(offset));
        enabled[count++] = location;
    };
    attribute("coord3d", 3, offsetof(BatchVertex, x));
    attribute("color", 4, offsetof(BatchVertex, r));
    attribute("rotation", 1, offsetof(BatchVertex, rotation));
    attribute("tX", 1, offsetof(BatchVertex, pivotX));
    attribute("tY", 1, offsetof(BatchVertex, pivotY));
    if (textured) attribute("texcoord", 3, offsetof(BatchVertex, u));

    glUniform1f(glGetUniformLocation(program, "tZ"), static_cast<float>(step.depth));
    glUniformMatrix4fv(glGetUniformLocation(program, "proj"), 1, GL_FALSE,
                       glm::value_ptr(projection_));
    glUniformMatrix4fv(glGetUniformLocation(program, "view"), 1, GL_FALSE, glm::value_ptr(view_));
    if (textured) {
        // Unit 0 is the batch's own texture; effect textures start at 1.
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, step.texture);
        glUniform1i(glGetUniformLocation(program, "texture"), 0);
    }

    if (wholeStrips_) {
        glDrawArrays(GL_TRIANGLE_STRIP, step.first, step.count - 2);
    } else if (index < indexRanges_.size() && indexRanges_[index].count > 0) {
        // Bound only for this draw: other code draws from its own indices.
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indexRanges_[index].count),
                       GL_UNSIGNED_INT,
                       reinterpret_cast<const void*>(indexRanges_[index].offset * 4));
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }

    for (int i = 0; i < count; ++i) glDisableVertexAttribArray(static_cast<GLuint>(enabled[i]));
    EffectDisableAttributes(effect);
    return true;
}

void BatchRenderer::GlAfterCallback() {
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
}

void BatchRenderer::GlFinishRender() {
    glUseProgram(0);
}

void BatchRenderer::GlClear() {
    for (std::size_t t : RenderOrder()) {
        BindRenderTarget(targets_[t].target);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
}

void BatchRenderer::GlResizeTargets() {
    for (std::size_t t : RenderOrder()) {
        if (targets_[t].target) targets_[t].target->Create(width_, height_);
    }
}
