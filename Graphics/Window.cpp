#include "Graphics/Window.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <SOIL/SOIL.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <glm/gtc/matrix_transform.hpp>
#include <string>

#include "Graphics/BatchRenderer.h"
#include "Graphics/Camera.h"
#include "Graphics/DisplayConnection.h"
#include "Graphics/Effect.h"
#include "Graphics/Font.h"
#include "Graphics/RenderTarget.h"
#include "Graphics/Renderer.h"
#include "Graphics/TextureAtlas.h"
#include "System/Source/Components/Meta.h"
#include "System/Source/PerformanceGraph.h"

GLFWwindow* GameWindow = nullptr;
bool FullscreenFlag = true;
int32_t WindowWidth = 1920;
int32_t WindowHeight = 1080;
int32_t WindowedWidth = 1024;
int32_t WindowedHeight = 768;
int32_t WindowedX = 0;
int32_t WindowedY = 0;
bool RememberWindowedSize = false;
bool WindowFocused = false;
int32_t LetterboxOffsetX = 0;
int32_t LetterboxOffsetY = 0;
glm::mat4 VirtualProjection(1.0f);
glm::mat4 LetterboxProjection(1.0f);
glm::mat4 WindowProjection(1.0f);

namespace {

constexpr float kAspect = 1.7777778f;

bool g_screenshotPending = false;

// The focus state the window system last reported in this poll; -1: none.
int g_focusReported = -1;
WindowFocusHook g_focusHook = nullptr;

// The 16:9 area inside a window of the given size, in single precision.
struct Letterbox {
    float width;
    float height;
    float offsetX;
    float offsetY;
};

Letterbox ComputeLetterbox(int32_t width, int32_t height) {
    float w = float(width);
    float h = float(height);
    float aspect = w / h;
    Letterbox box{w, h, 0.0f, 0.0f};
    if (aspect > kAspect) {
        box.width = h * kAspect;
        box.offsetX = (w - h * kAspect) * 0.5f;
    } else if (aspect < kAspect) {
        box.height = w / kAspect;
        box.offsetY = (h - w / kAspect) * 0.5f;
    }
    return box;
}

void OnWindowSize(GLFWwindow*, int width, int height) {
    if (width == 0 || height == 0) return;
    ResizeViewport(width, height);
    if (RememberWindowedSize && !FullscreenFlag) {
        WindowedWidth = width;
        WindowedHeight = height;
        RememberWindowedSize = false;
    }
}

bool CreateGameWindow() {
    // The window starts at the windowed size and goes fullscreen at once: a
    // window manager that gives a window back its size from before
    // fullscreen then restores the windowed size, not the desktop's.
    GameWindow = glfwCreateWindow(1024, 768, "Tazzle", nullptr, nullptr);
    if (!GameWindow) return false;
    glfwSetWindowSizeCallback(GameWindow, OnWindowSize);
    glfwSetWindowFocusCallback(GameWindow, OnWindowFocus);
    if (FullscreenFlag) {
        FullscreenFlag = false;
        ToggleFullscreen();
        WindowedWidth = 1024;
        WindowedHeight = 768;
    }
    return true;
}

void InitGlState() {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glAlphaFunc(GL_GREATER, 0.01f);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glDisable(GL_DEPTH_TEST);
    glDepthFunc(GL_GEQUAL);
    glClearDepth(0.0);
    glDisable(GL_POLYGON_SMOOTH);
    GLenum status = glewInit();
    if (status != GLEW_OK) {
        std::fprintf(stderr, "Error: %s\n",
                     reinterpret_cast<const char*>(glewGetErrorString(status)));
    }
    std::printf("OpenGL Version: %s\n", reinterpret_cast<const char*>(glGetString(GL_VERSION)));
}

// Colour only: binding the scene for drawing clears its depth.
void ClearSceneTarget() {
    if (!SceneTarget || !SceneTarget->framebuffer) return;
    glBindFramebuffer(GL_FRAMEBUFFER, SceneTarget->framebuffer);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// The frame last presented, everything drawn into the window included (the
// GUI, the HUD, the letterbox bars), for pixel reads. The window's own
// buffers cannot be read back once swapped (the front buffer reads as zeros
// on some drivers), so every frame is copied just before its swap: a read
// is then right from the first one, whenever a script makes it.
RenderTarget* g_presentedFrame = nullptr;

void KeepPresentedFrame() {
    if (!g_presentedFrame) g_presentedFrame = new RenderTarget();
    if (!g_presentedFrame) return;
    if (g_presentedFrame->width != WindowWidth || g_presentedFrame->height != WindowHeight) {
        g_presentedFrame->Create(WindowWidth, WindowHeight);
    }
    if (!g_presentedFrame->framebuffer) return;
    GLint readFramebuffer = 0, drawFramebuffer = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, g_presentedFrame->framebuffer);
    glBlitFramebuffer(0, 0, WindowWidth, WindowHeight, 0, 0, WindowWidth, WindowHeight,
                      GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFramebuffer));
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(drawFramebuffer));
}

void SaveScreenshot() {
    std::string name =
        "Screenshot_" + std::to_string(static_cast<long long>(std::time(nullptr))) + ".bmp";
    errno = 0;
    if (!SOIL_save_screenshot(name.c_str(), SOIL_SAVE_TYPE_BMP, 0, 0, WindowWidth, WindowHeight)) {
        std::printf("Could not write screenshot %s: %s\n", name.c_str(),
                    errno ? std::strerror(errno) : "the image could not be saved");
    }
}

}  // namespace

namespace {
GuiFrameHooks g_guiHooks;
}  // namespace

void SetGuiFrameHooks(const GuiFrameHooks& hooks) {
    g_guiHooks = hooks;
}

bool RenderStartup() {
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    FullscreenFlag = true;
    WindowedX = WindowedY = 0;
    LetterboxOffsetX = LetterboxOffsetY = 0;
    glewExperimental = GL_TRUE;
    if (mode) {
        WindowWidth = mode->width;
        WindowHeight = mode->height;
    }
    if (!CreateGameWindow()) {
        std::fprintf(stderr, "Could not create the game window.\n");
        return false;
    }
    glfwMakeContextCurrent(GameWindow);
    InitGlState();
    CurrentRenderer = new BatchRenderer();
    if (CurrentRenderer) CurrentRenderer->SetSize(WindowWidth, WindowHeight);
    GlobalTextureAtlas = new TextureAtlas();
    EffectImageTexture = [](const char* path) -> uint32_t {
        return GlobalTextureAtlas ? GlobalTextureAtlas->GetImage(path).texture : 0u;
    };
    GlobalShaderCache = new ShaderCache();
    SceneTarget = new RenderTarget();
    if (SceneTarget) {
        SceneTarget->Create(1920, 1080);
        // Empty, with the clear colour of a frame.
        glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
        ClearSceneTarget();
        glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    }
    ResizeViewport(WindowWidth, WindowHeight);
    glfwSwapInterval(1);
    if (GlobalShaderCache) AddStartupShaders(*GlobalShaderCache);
    InstallFontRegistryProvider();
    if (g_guiHooks.startup) g_guiHooks.startup();
    std::printf("W %i H %i\n", int(70000.0f / float(GetViewportWidth()) + 0.5f),
                int(7000.0f / float(GetViewportHeight()) + 0.5f));
    glfwSetInputMode(GameWindow, GLFW_CURSOR, GLFW_CURSOR_HIDDEN);
    WindowFocused = true;
    DisplayConnectionReady(GameWindow);
    return true;
}

void RenderShutdown() {
    // A window on a lost display is left to glfwTerminate, which only
    // frees what it holds once Xlib has seen the loss.
    AskAboutWindow([](GLFWwindow* window) { glfwDestroyWindow(window); });
    GameWindow = nullptr;
    CloseDisplayConnection();
    // The context is gone: what follows frees records only.
    if (g_guiHooks.shutdown) g_guiHooks.shutdown();
    ReleasePostProcessing();
    EffectReleaseBase();
    delete SceneTarget;
    SceneTarget = nullptr;
    delete g_presentedFrame;
    g_presentedFrame = nullptr;
}

namespace {
bool g_foreignContext = false;
}  // namespace

// After the display's loss the context's drawable is gone with it: no GL,
// until glfwTerminate releases what is left.
bool HasGlContext() {
    return (GameWindow != nullptr && !DisplayLost()) || g_foreignContext;
}

GLFWwindow* UsableWindow() {
    return GameWindow && DisplayAnswers() ? GameWindow : nullptr;
}

// The close flag is GLFW's own: no request. A hang-up is found by the
// frame's event poll.
bool WindowShouldClose() {
    return DisplayLost() || (GameWindow && glfwWindowShouldClose(GameWindow));
}
void SetForeignGlContext(bool current) {
    g_foreignContext = current;
}

// Each call asks the server: one that finds the loss leaves the rest
// unasked, and so does one that the loss cuts short.
void ToggleFullscreen() {
    if (!UsableWindow()) return;
    FullscreenFlag = !FullscreenFlag;
    GLFWmonitor* monitor = nullptr;
    const GLFWvidmode* mode = nullptr;
    int x = 0, y = 0;
    AskAboutWindow([&](GLFWwindow*) {
        int count = 0;
        GLFWmonitor** monitors = glfwGetMonitors(&count);
        monitor = count > 0 ? monitors[0] : nullptr;
        mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    });
    AskAboutWindow([&](GLFWwindow* window) { glfwGetWindowPos(window, &x, &y); });
    if (FullscreenFlag) {
        WindowedWidth = WindowWidth;
        WindowedHeight = WindowHeight;
        WindowedX = x;
        WindowedY = y;
        RememberWindowedSize = true;
        if (!monitor || !mode) return;
        AskAboutWindow([&](GLFWwindow* window) {
            glfwSetWindowMonitor(window, monitor, 0, 0, mode->width, mode->height,
                                 mode->refreshRate);
        });
    } else {
        AskAboutWindow([](GLFWwindow* window) {
            glfwSetWindowMonitor(window, nullptr, WindowedX, WindowedY, WindowedWidth,
                                 WindowedHeight, GLFW_DONT_CARE);
        });
    }
}

void OnWindowFocus(GLFWwindow*, int focused) {
    g_focusReported = focused ? 1 : 0;
}

void SetWindowFocusHook(WindowFocusHook hook) {
    g_focusHook = hook;
}

void ApplyWindowFocus() {
    if (g_focusReported < 0) return;
    bool focused = g_focusReported == 1;
    g_focusReported = -1;
    // A loss and a regain within one poll (window systems report such a
    // flicker while a window is being placed) is no change of focus.
    if (focused == WindowFocused) return;
    if (g_focusHook) g_focusHook(focused);
    if (!focused && FullscreenFlag) {
        AskAboutWindow([](GLFWwindow* window) { glfwIconifyWindow(window); });
    }
    WindowFocused = focused;
}

// Window pixels to GUI pixels: from the top-left corner of the letterboxed
// area, scaled by the ratio of the letterboxed area (with its bars) to the
// window. A window of no size scales by 1.
void WindowToGui(double x, double y, int32_t& gx, int32_t& gy) {
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    if (WindowWidth > 0) {
        scaleX = float(double(GetViewportWidth() + 2 * LetterboxOffsetX) / double(WindowWidth));
    }
    if (WindowHeight > 0) {
        scaleY = float(double(GetViewportHeight() + 2 * LetterboxOffsetY) / double(WindowHeight));
    }
    const double tx = std::trunc(std::isfinite(x) ? x : 0.0);
    const double ty = std::trunc(std::isfinite(y) ? y : 0.0);
    gx = SafeDoubleToInt(double(scaleX) * (tx - LetterboxOffsetX));
    gy = SafeDoubleToInt(double(scaleY) * (ty - LetterboxOffsetY));
}

void ResizeViewport(int32_t width, int32_t height) {
    if (!FullscreenFlag) {
        AskAboutWindow([=](GLFWwindow* window) { glfwSetWindowSize(window, width, height); });
    }
    if (height == 0) height = 1;
    WindowWidth = width;
    WindowHeight = height;
    if (CurrentRenderer) CurrentRenderer->SetSize(width, height);
    Letterbox box = ComputeLetterbox(width, height);
    LetterboxOffsetX = int32_t(box.offsetX);
    LetterboxOffsetY = int32_t(box.offsetY);
    VirtualProjection = glm::ortho(0.0f, 1920.0f, 0.0f, 1080.0f, -100.0f, 100.0f);
    LetterboxProjection = glm::ortho(-box.offsetX, box.offsetX + box.width,
                                     box.offsetY + box.height, -box.offsetY, -100.0f, 100.0f);
    WindowProjection = glm::ortho(0.0f, float(width), float(height), 0.0f, -100.0f, 100.0f);
}

int32_t GetViewportWidth() {
    float aspect = float(WindowWidth) / float(WindowHeight);
    if (aspect > kAspect) return int32_t(float(WindowHeight) * kAspect);
    return WindowWidth;
}

int32_t GetViewportHeight() {
    float aspect = float(WindowWidth) / float(WindowHeight);
    if (aspect < kAspect) return int32_t(float(WindowWidth) / kAspect);
    return WindowHeight;
}

int32_t GuiToWorldY(float v) {
    float height = CurrentCamera ? CurrentCamera->height : 1080.0f;
    float cameraY = CurrentCamera ? CurrentCamera->position.y : 0.0f;
    int32_t pixels = int32_t(v / 1000.0f * float(GetViewportHeight()) + 0.5f);
    return int32_t((cameraY + height * 0.5f) - (float(pixels) / float(WindowHeight)) * height);
}

void BeginFrame() {
    if (!GameWindow || !HasGlContext() || !CurrentRenderer) return;
    Renderer& r = *CurrentRenderer;
    glColor4ub(255, 255, 255, 255);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    // The renderer's clear reaches the window through its screen layer; the
    // scene target is cleared in DrawFrame, just before the world is drawn.
    DrawingToWindow = true;
    r.Clear();
    CameraUpdate();
    r.PushTranslation(0, 0, -90);
    r.SetProjection(VirtualProjection);
    r.SetView(CurrentCamera ? CurrentCamera->View() : glm::mat4(1.0f));
    r.SetTextFlipped(true);
    r.SetPivot(0, 0);
    r.SetRotation(0);
    r.SetScale(1, 1);
    r.SetReverseOrder(false);
    r.SetDepth(0);
    DrawingToWindow = false;
    if (!PostProcessList.empty()) r.SetTarget(PostProcessList.front());
    glDisable(GL_DEPTH_TEST);
}

void DrawFrame() {
    if (!GameWindow || !HasGlContext() || !CurrentRenderer) return;
    Renderer& r = *CurrentRenderer;
    const glm::mat4 identity(1.0f);
    // No pixels of the last scene remain in the new one.
    ClearSceneTarget();
    r.Render();
    r.SetProjection(WindowProjection);
    r.SetView(identity);
    r.SetTextFlipped(false);
    r.PopTranslation();
    r.SetPivot(0, 0);
    r.SetRotation(0);
    r.SetScale(1, 1);
    r.SetDepth(0);

    // Graphics layers over the world.
    r.SetTarget(PostProcessList.empty() ? nullptr : PostProcessList.front());
    r.SetDepth(1);
    r.SetEffect(nullptr);
    for (RenderTarget* layer : GraphicsLayerList) {
        r.SetTexture(layer->texture);
        r.DrawTexture(0, WindowHeight, WindowWidth, 0);
    }
    r.SetEffect(nullptr);
    r.Render();

    // The post-processing chain; the last pass draws into the scene target.
    for (size_t i = 0; i < PostProcessList.size(); ++i) {
        PostProcess* pass = PostProcessList[i];
        r.SetTarget(i + 1 < PostProcessList.size() ? PostProcessList[i + 1] : nullptr);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        r.SetDepth(1);
        r.SetEffect(&pass->effect);
        r.SetTexture(pass->texture);
        r.DrawTexture(0, WindowHeight, WindowWidth, 0);
        r.SetEffect(nullptr);
        r.Render();
    }

    // The composite: the scene, letterboxed into the window.
    DrawingToWindow = true;
    Letterbox box = ComputeLetterbox(WindowWidth, WindowHeight);
    r.SetTarget(nullptr);
    r.SetProjection(WindowProjection);
    r.SetView(identity);
    r.PushTranslation(0, 0, -1);
    r.SetTexture(SceneTarget ? SceneTarget->texture : 0);
    r.DrawTexture(int(box.offsetX), int(box.offsetY + box.height), int(box.offsetX + box.width),
                  int(box.offsetY));
    r.PopTranslation();
    r.SetEffect(nullptr);
    r.Render();

    glEnable(GL_DEPTH_TEST);
    r.SetProjection(LetterboxProjection);
    r.SetView(identity);
    r.SetReverseOrder(true);
    BeginProfileSection("HUD Update", Color(180, 160, 240, 255));
    if (g_guiHooks.draw) g_guiHooks.draw();
    r.PushTranslation(0, 0, 10);
    r.SetColor(0, 0, 0, 255);
    r.FillRect(0, 0, LetterboxOffsetX, LetterboxOffsetY);
    r.PopTranslation();
    BeginProfileSection("Drawing", Color(180, 200, 160, 255));
    r.Render();
    if (g_screenshotPending) {
        g_screenshotPending = false;
        SaveScreenshot();
    }
    KeepPresentedFrame();
    AskAboutWindow([](GLFWwindow* window) { glfwSwapBuffers(window); });
}

void StartPassOnTop() {
    if (!CurrentRenderer) return;
    CurrentRenderer->Render();
    if (!HasGlContext()) return;
    BindRenderTarget(nullptr);
    glClear(GL_DEPTH_BUFFER_BIT);
}

void TakeScreenshot() {
    g_screenshotPending = true;
}

void ReadPresentedPixel(int column, int row, unsigned char rgba[4]) {
    rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0;
    if (!HasGlContext() || !g_presentedFrame || !g_presentedFrame->framebuffer) return;
    if (column < 0 || row < 0 || column >= g_presentedFrame->width ||
        row >= g_presentedFrame->height) {
        return;
    }
    GLint readFramebuffer = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, g_presentedFrame->framebuffer);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(column, row, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFramebuffer));
}
