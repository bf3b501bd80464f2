#include "Graphics/RenderTarget.h"

#include <GL/glew.h>

#include <cstdio>

#include "Graphics/Window.h"

RenderTarget* SceneTarget = nullptr;
bool DrawingToWindow = false;
System::Vector<PostProcess*> PostProcessList;
System::Vector<RenderTarget*> GraphicsLayerList;

namespace {

constexpr int32_t kLayerWidth = 1920;
constexpr int32_t kLayerHeight = 1080;

bool FramebuffersReady() {
    return HasGlContext() && glGenFramebuffers != nullptr;
}

}  // namespace

RenderTarget::~RenderTarget() {
    Destroy();
}

void RenderTarget::Destroy() {
    if (FramebuffersReady()) {
        if (framebuffer != 0) glDeleteFramebuffers(1, &framebuffer);
        if (depthBuffer != 0) glDeleteRenderbuffers(1, &depthBuffer);
        if (textureMade) glDeleteTextures(1, &texture);
    }
    framebuffer = 0;
    depthBuffer = 0;
    if (textureMade) texture = 0;
    textureMade = false;
}

void RenderTarget::Create(int32_t w, int32_t h) {
    if ((w == 0 && h == 0) || !FramebuffersReady()) return;
    GLint boundFramebuffer = 0;
    GLint boundTexture = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &boundFramebuffer);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture);
    const GLuint oldFramebuffer = framebuffer;
    const GLuint oldTexture = textureMade ? texture : 0;

    if (framebuffer != 0) glDeleteFramebuffers(1, &framebuffer);
    if (depthBuffer != 0) glDeleteRenderbuffers(1, &depthBuffer);
    framebuffer = 0;
    depthBuffer = 0;
    width = w;
    height = h;

    glGenRenderbuffers(1, &depthBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT, w, h);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);

    glGenFramebuffers(1, &framebuffer);
    if (textureMade) glDeleteTextures(1, &texture);
    glGenTextures(1, &texture);
    textureMade = true;

    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
    CheckFramebufferStatus(glCheckFramebufferStatus(GL_FRAMEBUFFER));

    // Whatever was bound before is bound again, so the next clear or draw
    // still goes where its caller expects (the window, usually). A binding
    // of this target's old objects moves to the new ones: binding a deleted
    // name would silently make a fresh object of it.
    GLuint restoreFramebuffer = static_cast<GLuint>(boundFramebuffer);
    if (oldFramebuffer != 0 && restoreFramebuffer == oldFramebuffer)
        restoreFramebuffer = framebuffer;
    GLuint restoreTexture = static_cast<GLuint>(boundTexture);
    if (oldTexture != 0 && restoreTexture == oldTexture) restoreTexture = texture;
    glBindFramebuffer(GL_FRAMEBUFFER, restoreFramebuffer);
    glBindTexture(GL_TEXTURE_2D, restoreTexture);
}

bool CheckFramebufferStatus(uint32_t status) {
    if (status == GL_FRAMEBUFFER_COMPLETE) return true;
    std::printf("ASKLDM\n");
    return false;
}

void BindRenderTarget(RenderTarget* target) {
    if (!FramebuffersReady()) return;
    if (target) {
        glBindFramebuffer(GL_FRAMEBUFFER, target->framebuffer);
        glViewport(0, 0, target->width, target->height);
    } else if (!DrawingToWindow && SceneTarget) {
        glBindFramebuffer(GL_FRAMEBUFFER, SceneTarget->framebuffer);
        glClear(GL_DEPTH_BUFFER_BIT);
        glViewport(0, 0, SceneTarget->width, SceneTarget->height);
    } else {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, WindowWidth, WindowHeight);
    }
}

RenderTarget* NewRenderTarget() {
    RenderTarget* layer = new RenderTarget();
    if (!layer) return nullptr;
    layer->Create(kLayerWidth, kLayerHeight);
    GraphicsLayerList.push_back(layer);
    return layer;
}

PostProcess* AddPostProcess(const char* vertexPath, const char* fragmentPath) {
    bool hasVertex = vertexPath && *vertexPath;
    bool hasFragment = fragmentPath && *fragmentPath;
    if (!hasVertex && !hasFragment) return nullptr;
    PostProcess* pass = new PostProcess();
    if (!pass) return nullptr;
    pass->Create(WindowWidth, WindowHeight);
    if (hasVertex) EffectCompileShader(&pass->effect, vertexPath, kVertexStage, true);
    if (hasFragment) EffectCompileShader(&pass->effect, fragmentPath, kFragmentStage, true);
    EffectLink(&pass->effect);
    PostProcessList.push_back(pass);
    return pass;
}

PostProcess* GetPostProcess(int n) {
    if (n < 1 || size_t(n) > PostProcessList.size()) return nullptr;
    return PostProcessList[size_t(n) - 1];
}

RenderTarget* GetGraphicsLayer(int n) {
    if (n < 1 || size_t(n) > GraphicsLayerList.size()) return nullptr;
    return GraphicsLayerList[size_t(n) - 1];
}

void ReleasePostProcessing() {
    for (PostProcess* pass : PostProcessList) delete pass;
    for (RenderTarget* layer : GraphicsLayerList) delete layer;
    System::Vector<PostProcess*>().swap(PostProcessList);
    System::Vector<RenderTarget*>().swap(GraphicsLayerList);
}
