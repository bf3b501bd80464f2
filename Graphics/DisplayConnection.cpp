// Xlib's headers stay in this file: their macros and type names (Font,
// Status, None, Bool) clash with the engine's.
#include "Graphics/DisplayConnection.h"

#define GLFW_EXPOSE_NATIVE_X11
#include <GLFW/glfw3.h>
#include <GLFW/glfw3native.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "Platform/WindowSystemGuard.h"

namespace {

std::atomic<bool> g_displayLost{false};
std::atomic<bool> g_windowReady{false};
// The open connection's socket and the display's name, for the handlers;
// the name is kept here, as Xlib's own copy goes with glfwTerminate.
int g_connection = -1;
char g_displayName[128] = "";

// One write, so that the line comes whole also from a signal handler.
void NoteLoss(const char* name) {
    if (g_displayLost.exchange(true)) return;
    if (!name || !*name) name = "(unnamed)";
    static const char kHead[] = "Lost the display ";
    static const char kTail[] = ": its X server ended or the connection to it broke.\n";
    char line[256];
    const size_t nameLength =
        std::min(std::strlen(name), sizeof line - sizeof kHead - sizeof kTail);
    std::memcpy(line, kHead, sizeof kHead - 1);
    std::memcpy(line + sizeof kHead - 1, name, nameLength);
    std::memcpy(line + sizeof kHead - 1 + nameLength, kTail, sizeof kTail - 1);
    ssize_t written = write(STDERR_FILENO, line, sizeof kHead - 1 + nameLength + sizeof kTail - 1);
    (void)written;
}

// The server has closed its end: it shows on the socket before Xlib has read
// that far.
bool ConnectionHungUp() {
    if (g_connection < 0) return false;
    pollfd connection{g_connection, POLLRDHUP, 0};
    return poll(&connection, 1, 0) > 0 &&
           (connection.revents & (POLLHUP | POLLRDHUP | POLLERR | POLLNVAL)) != 0;
}

// Xlib's own function prints and exits. Until the window is ready nothing is
// at stake (no level has run) and GLFW and Mesa would go on with the broken
// connection's null replies, dereferencing them or waiting for ever for the
// new window's events: the game ends here. Later a guarded call that meets
// the loss is left there, as GLFW too would go on (a fullscreen switch
// takes its window for hidden and waits for it to show); elsewhere the call
// that found it returns, failing, and every later call on the connection
// returns at once.
int OnIoError(Display* display) {
    NoteLoss(DisplayString(display));
    if (!g_windowReady.load()) _exit(1);
    LeaveWindowSystemCall();
    return 0;
}

// Called where Xlib would otherwise exit, after OnIoError returned.
void OnIoErrorExit(Display* display, void*) {
    NoteLoss(DisplayString(display));
}

bool ConnectionGone() {
    return g_displayLost.load() || ConnectionHungUp();
}

void NoteLossOfDisplay() {
    NoteLoss(g_displayName);
}

}  // namespace

bool OpenDisplayConnection() {
    XSetIOErrorHandler(OnIoError);
    if (!glfwInit()) return false;
    Display* display = glfwGetX11Display();
    g_connection = ConnectionNumber(display);
    std::snprintf(g_displayName, sizeof g_displayName, "%s", DisplayString(display));
    // Mesa asks the server through its own connection calls, past Xlib, and
    // dereferences a missing reply while the window is made.
    GuardTheStart(ConnectionLoss{ConnectionGone, NoteLossOfDisplay});
    return true;
}

void DisplayConnectionReady() {
    if (Display* display = glfwGetX11Display()) {
        XSetIOErrorExitHandler(display, OnIoErrorExit, nullptr);
    }
    EndStartGuard();
    g_windowReady.store(true);
}

void CloseDisplayConnection() {
    EndStartGuard();
    if (!WindowSystemCallLeft()) CallWindowSystem([] { glfwTerminate(); });
    EndWindowSystemGuard();
    g_connection = -1;
}

bool DisplayLost() {
    return g_displayLost.load();
}

// A call that waits for a reply the server will never send gets none, and
// GLFW dereferences what it gets (the video mode of a fullscreen switch,
// say): Xlib is made to find the loss in a call that copes with it.
bool DisplayAnswers() {
    if (g_displayLost.load()) return false;
    if (!ConnectionHungUp()) return true;
    if (Display* display = glfwGetX11Display()) {
        CallWindowSystem([display] { XSync(display, False); });
    }
    NoteLoss(g_displayName);
    return false;
}
