// Off-screen images the renderer draws into and later uses as textures:
// render targets, the post-processing passes and the script-made graphics
// layers.
#pragma once

#include <cstdint>

#include "Graphics/Effect.h"
#include "System/Source/PoolAllocator.h"

// A framebuffer with one colour texture and one depth renderbuffer.
class RenderTarget : public System::PoolObject {
public:
    RenderTarget() = default;
    // Releases the GL objects (nothing once the GL context is gone).
    ~RenderTarget();
    RenderTarget(const RenderTarget&) = delete;
    RenderTarget& operator=(const RenderTarget&) = delete;

    // (Re)makes the framebuffer, renderbuffer and texture at this size;
    // nothing when both are 0. Prints "ASKLDM\n" when the framebuffer is
    // incomplete. The framebuffer and texture bound before stay bound.
    void Create(int32_t w, int32_t h);
    // Deletes the framebuffer, the renderbuffer and the texture it made.
    void Destroy();

    int32_t width = 0;
    int32_t height = 0;
    uint32_t texture = 0;
    float uMin = 0.0f;
    float vMin = 0.0f;
    float uMax = 1.0f;
    float vMax = 1.0f;
    bool textureMade = false;
    uint32_t framebuffer = 0;
    uint32_t depthBuffer = 0;
};

// A post-processing pass: a target and the effect its image is drawn
// through. Deleting it destroys the effect, then the target.
class PostProcess : public RenderTarget {
public:
    Effect effect;
};

// The frame's final 1920x1080 image; made by the graphics start-up.
extern RenderTarget* SceneTarget;
// False from the start of a frame until its composite pass; while false a
// target of none means SceneTarget.
extern bool DrawingToWindow;
// The post-processing chain in order, and the graphics layers; both own
// their entries. Scripts number both from 1 (0 = the default).
extern System::Vector<PostProcess*> PostProcessList;
extern System::Vector<RenderTarget*> GraphicsLayerList;

// Prints "ASKLDM\n" unless `status` is GL_FRAMEBUFFER_COMPLETE; returns
// whether it was.
bool CheckFramebufferStatus(uint32_t status);

// Binds a target's framebuffer and viewport. Null resolves at bind time: to
// SceneTarget (depth cleared) while not drawing to the window, else to the
// window itself.
void BindRenderTarget(RenderTarget* target);

// A new 1920x1080 graphics layer appended to GraphicsLayerList.
RenderTarget* NewRenderTarget();
// A new pass at the window's size, its effect built from the given files
// (an empty path keeps that stage's base shader), appended to
// PostProcessList. Nothing is made (null) when both paths are empty.
PostProcess* AddPostProcess(const char* vertexPath, const char* fragmentPath);

// Pass n / layer n counted from 1; null outside 1..count (so also for 0).
PostProcess* GetPostProcess(int n);
RenderTarget* GetGraphicsLayer(int n);

// Deletes every pass and every graphics layer and empties both lists.
void ReleasePostProcessing();
