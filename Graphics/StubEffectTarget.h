// TEMPORARY stand-ins for shader effects and render targets, so that the
// renderer builds and draws before the real ones are in the tree. Where the
// real headers exist they are used instead. Delete this file and
// StubEffectTarget.cpp once Graphics/Effect.h and Graphics/RenderTarget.h
// are merged (and include those two where this one is included).
#pragma once

#if __has_include("Graphics/Effect.h")
#include "Graphics/Effect.h"
#else
// A GLSL program on the shared base shaders.
class Effect {
public:
    Effect();  // takes the base shaders (compiled on first use)
    unsigned int vertexShader = 0;
    unsigned int fragmentShader = 0;
    unsigned int program = 0;
    bool linked = false;
};
// stage 1: vertex, 0: fragment; prints "Shader(%s) compile info:\n" and the log.
void EffectCompileShader(Effect* effect, const char* text, int stage, bool fromFile);
void EffectLink(Effect* effect);
void EffectApply(Effect* effect);
void EffectDisableAttributes(Effect* effect);
// Forgets the base shaders (for when their context goes away).
void EffectReleaseBase();
#endif

#if __has_include("Graphics/RenderTarget.h")
#include "Graphics/RenderTarget.h"
#else
#include <cstdint>
// A framebuffer with a colour texture and a depth renderbuffer.
class RenderTarget {
public:
    void Create(int32_t w, int32_t h);
    void Destroy();
    int32_t width = 0;
    int32_t height = 0;
    uint32_t texture = 0;
    uint32_t framebuffer = 0;
    uint32_t depthBuffer = 0;
};
// A target's framebuffer and viewport; null: the scene target while the
// frame draws the world, else the window.
void BindRenderTarget(RenderTarget* target);
extern RenderTarget* SceneTarget;
extern bool DrawingToWindow;
#endif
