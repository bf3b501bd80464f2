// The floor for a frame on this display: a bare GL program that clears its
// window and swaps, in a window made the way the game makes its own
// (fullscreen at the desktop's mode, swap interval 1). bench_frame.py runs it
// beside the game. Prints "<frames> <seconds>".
#include <GLFW/glfw3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    int frames = argc > 1 ? std::atoi(argv[1]) : 300;
    if (!glfwInit()) return 1;
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    GLFWwindow* window = glfwCreateWindow(1024, 768, "clear and swap", nullptr, nullptr);
    if (!window) return 1;
    if (monitor && mode) {
        glfwSetWindowMonitor(window, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
    }
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    // A first frame outside the timing, as the game's start-up has one.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glfwSwapBuffers(window);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        glfwPollEvents();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glfwSwapBuffers(window);
    }
    glFinish();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d %.6f\n", frames, seconds);
    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
