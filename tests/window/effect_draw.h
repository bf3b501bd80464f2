// Helpers of the effect and render-target window tests: a GL scene the
// engine sees as its own window, and quads drawn the way the batch renderer
// feeds effects (56-byte vertices through named parameters).
#pragma once

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>
#include <utility>

#include "Graphics/Effect.h"
#include "Graphics/RenderTarget.h"
#include "Graphics/Window.h"
#include "support/GlContext.h"

namespace EffectDraw {

constexpr int kSize = 64;

// A window and context that the engine takes for its own, working in the
// source tree so "Resources/Shaders/..." resolves.
class GlScene : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = std::filesystem::current_path();
        std::filesystem::current_path(TAZZLE_SOURCE_DIR);
        ASSERT_TRUE(gl_.Ok()) << "no display";
        GameWindow = gl_.Window();
        WindowWidth = kSize;
        WindowHeight = kSize;
        DrawingToWindow = true;
        glDisable(GL_DEPTH_TEST);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    void TearDown() override {
        ReleasePostProcessing();
        SceneTarget = nullptr;
        DrawingToWindow = false;
        EffectReleaseBase();
        if (vertexBuffer_) glDeleteBuffers(1, &vertexBuffer_);
        glUseProgram(0);
        GameWindow = nullptr;
        std::filesystem::current_path(saved_);
    }

    struct Quad {
        float x1, y1, x2, y2;
        std::array<float, 4> color{255, 255, 255, 255};  // 0-255
        uint32_t texture = 0;
        float rotation = 0, pivotX = 0, pivotY = 0;
    };

    // Draws the quad as a strip of four 56-byte vertices through `effect`,
    // in window pixels (origin bottom-left), with the renderer's parameters.
    void DrawQuad(Effect* effect, const Quad& q) {
        const float corners[4][4] = {
            {q.x2, q.y1, 1, 0}, {q.x1, q.y1, 0, 0}, {q.x2, q.y2, 1, 1}, {q.x1, q.y2, 0, 1}};
        float vertices[4][14] = {};  // word 10, the texture word, stays 0
        for (int i = 0; i < 4; ++i) {
            const float v[14] = {
                corners[i][0], corners[i][1], 0, q.color[0], q.color[1], q.color[2], q.color[3],
                corners[i][2], corners[i][3], 0, 0,          q.rotation, q.pivotX,   q.pivotY};
            std::copy(v, v + 14, vertices[i]);
        }
        if (!vertexBuffer_) glGenBuffers(1, &vertexBuffer_);
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
        glBufferData(GL_ARRAY_BUFFER, sizeof vertices, vertices, GL_STREAM_DRAW);
        const std::pair<const char*, int> attributes[] = {
            {"coord3d", 3}, {"color", 4}, {"rotation", 1}, {"tX", 1}, {"tY", 1}, {"texcoord", 3}};
        const int offsets[] = {0, 12, 44, 48, 52, 28};
        for (int i = 0; i < (q.texture ? 6 : 5); ++i) {
            EffectAddParameter(effect, attributes[i].first)
                ->SetAttribute(attributes[i].second, GL_FLOAT, false, 56, offsets[i]);
        }
        glm::mat4 proj =
            glm::ortho(0.0f, float(WindowWidth), 0.0f, float(WindowHeight), -100.0f, 100.0f);
        glm::mat4 view(1.0f);
        EffectAddParameter(effect, "proj")->SetMatrix(glm::value_ptr(proj));
        EffectAddParameter(effect, "view")->SetMatrix(glm::value_ptr(view));
        EffectAddParameter(effect, "tZ")->SetFloat(0.0f);
        if (q.texture) EffectAddParameter(effect, "texture")->SetTexture(q.texture);
        EffectApply(effect);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        EffectDisableAttributes(effect);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glFinish();
    }

    // A texture of one colour.
    static GLuint SolidTexture(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
        uint8_t texel[4] = {r, g, b, a};
        GLuint id = 0;
        glGenTextures(1, &id);
        glBindTexture(GL_TEXTURE_2D, id);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glBindTexture(GL_TEXTURE_2D, 0);
        return id;
    }

    static std::array<int, 4> Pixel(int x, int y) {
        unsigned char rgba[4] = {};
        TestSupport::GlContext::ReadPixel(x, y, rgba);
        return {rgba[0], rgba[1], rgba[2], rgba[3]};
    }

    TestSupport::GlContext gl_{kSize, kSize};
    GLuint vertexBuffer_ = 0;

private:
    std::filesystem::path saved_;
};

}  // namespace EffectDraw
