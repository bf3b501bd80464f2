// A real window with an OpenGL context for tests that draw (run under Xvfb).
#pragma once

struct GLFWwindow;

namespace TestSupport {

// Opens a window of the given size with a current GL context (GLEW ready);
// closes it and terminates GLFW in the destructor. Ok() is false when no
// display is available.
class GlContext {
public:
    GlContext(int width = 640, int height = 480, bool visible = true);
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    bool Ok() const { return window_ != nullptr; }
    GLFWwindow* Window() const { return window_; }

    // Makes this window the game's window for the code under test (its
    // size, drawing to the window) with blending on, no depth test, cleared
    // to opaque black.
    void ActAsGameWindow();

    // RGBA of one pixel of the bound read framebuffer (origin bottom-left).
    static void ReadPixel(int x, int y, unsigned char rgba[4]);

private:
    GLFWwindow* window_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace TestSupport
