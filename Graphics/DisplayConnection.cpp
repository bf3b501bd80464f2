// Xlib's headers stay in this file: their macros and type names (Font,
// Status, None, Bool) clash with the engine's.
#include "Graphics/DisplayConnection.h"

#define GLFW_EXPOSE_NATIVE_X11
#include <GLFW/glfw3.h>
#include <GLFW/glfw3native.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<bool> g_displayLost{false};

void NoteLoss(Display* display) {
    if (g_displayLost.exchange(true)) return;
    const char* name = display ? DisplayString(display) : nullptr;
    std::fprintf(stderr, "Lost the display %s: its X server ended or the connection to it broke.\n",
                 name && *name ? name : "(unnamed)");
}

// Xlib's own function prints and exits; this one notes the loss and lets
// the call that found it return, failing. Every later call on the broken
// connection returns at once.
int OnIoError(Display* display) {
    NoteLoss(display);
    return 0;
}

// Called where Xlib would otherwise exit.
void OnIoErrorExit(Display* display, void*) {
    NoteLoss(display);
}

}  // namespace

void WatchDisplayConnection() {
    XSetIOErrorHandler(OnIoError);
    if (Display* display = glfwGetX11Display()) {
        XSetIOErrorExitHandler(display, OnIoErrorExit, nullptr);
    }
}

bool DisplayLost() {
    return g_displayLost.load();
}
