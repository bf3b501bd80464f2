#include "support/GlContext.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include "Graphics/RenderTarget.h"
#include "Graphics/Window.h"

namespace TestSupport {

GlContext::GlContext(int width, int height, bool visible) : width_(width), height_(height) {
    if (!glfwInit()) return;
    glfwWindowHint(GLFW_VISIBLE, visible ? GLFW_TRUE : GLFW_FALSE);
    window_ = glfwCreateWindow(width, height, "Tazzle test", nullptr, nullptr);
    glfwDefaultWindowHints();
    if (!window_) {
        glfwTerminate();
        return;
    }
    glfwMakeContextCurrent(window_);
    glewExperimental = GL_TRUE;
    glewInit();
    glViewport(0, 0, width, height);
}

GlContext::~GlContext() {
    if (window_) {
        glfwDestroyWindow(window_);
        glfwTerminate();
    }
}

void GlContext::ActAsGameWindow() {
    GameWindow = window_;
    WindowWidth = width_;
    WindowHeight = height_;
    DrawingToWindow = true;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

void GlContext::ReadPixel(int x, int y, unsigned char rgba[4]) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

}  // namespace TestSupport
