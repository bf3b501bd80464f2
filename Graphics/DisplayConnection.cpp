// Xlib's headers stay in this file: their macros and type names (Font,
// Status, None, Bool) clash with the engine's.
#include "Graphics/DisplayConnection.h"

#define GLFW_EXPOSE_NATIVE_X11
#define GLFW_EXPOSE_NATIVE_GLX
#include <GLFW/glfw3.h>
#include <GLFW/glfw3native.h>
// For the extensions' names and major opcodes, which Xlib's own report reads
// there too; it defines min and max.
#include <X11/Xlibint.h>
#undef min
#undef max
#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "Platform/WindowSystemGuard.h"

namespace {

std::atomic<bool> g_displayLost{false};
std::atomic<bool> g_windowGone{false};
std::atomic<bool> g_windowReady{false};
// The open connection's socket and the display's name, for the handlers;
// the name is kept here, as Xlib's own copy goes with glfwTerminate.
int g_connection = -1;
char g_displayName[128] = "";
// The game's window and its GLX drawable, once ready: what a refusal that
// says the window is gone names.
XID g_gameWindow = 0;
XID g_gameDrawable = 0;

// head + name + tail, cut to fit, in one write, so that the line comes whole
// also from a signal handler.
void WriteLine(const char* head, const char* name, const char* tail) {
    if (!name || !*name) name = "(unnamed)";
    char line[512];
    const size_t headLength = std::min(std::strlen(head), sizeof line / 4);
    const size_t tailLength = std::min(std::strlen(tail), sizeof line / 2);
    const size_t nameLength = std::min(std::strlen(name), sizeof line - headLength - tailLength);
    std::memcpy(line, head, headLength);
    std::memcpy(line + headLength, name, nameLength);
    std::memcpy(line + headLength + nameLength, tail, tailLength);
    ssize_t written = write(STDERR_FILENO, line, headLength + nameLength + tailLength);
    (void)written;
}

void NoteLoss(const char* name) {
    if (g_displayLost.exchange(true)) return;
    WriteLine("Lost the display ", name, ": its X server ended or the connection to it broke.\n");
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

// The game's window destroyed by another program (or with a window of its
// own that it had taken the game's into): it is as good as the display
// lost, but the connection still answers.
void NoteWindowGone() {
    if (g_displayLost.exchange(true)) return;
    g_windowGone.store(true);
    WriteLine("Lost the game's window on the display ", g_displayName,
              ": another program closed or destroyed it.\n");
}

bool NamesGameWindow(const XErrorEvent& error) {
    return (error.error_code == BadWindow || error.error_code == BadDrawable) &&
           error.resourceid != 0 &&
           (error.resourceid == g_gameWindow || error.resourceid == g_gameDrawable);
}

// The request's name from Xlib's error database ("X_SendEvent",
// "X_ShmPutImage"), else its numbers.
void RequestName(Display* display, const XErrorEvent& error, char* name, int size) {
    char key[128];
    name[0] = '\0';
    if (error.request_code < 128) {
        std::snprintf(key, sizeof key, "%d", error.request_code);
        XGetErrorDatabaseText(display, "XRequest", key, "", name, size);
    } else {
        for (_XExten* extension = display->ext_procs; extension; extension = extension->next) {
            if (extension->codes.major_opcode != error.request_code || !extension->name) continue;
            std::snprintf(key, sizeof key, "%s.%d", extension->name, error.minor_code);
            XGetErrorDatabaseText(display, "XRequest", key, "", name, size);
            break;
        }
    }
    if (!name[0]) std::snprintf(name, size_t(size), "%d.%d", error.request_code, error.minor_code);
}

// One line for each kind of refusal (the error and the request), so that a
// program that keeps causing the same one fills no log; past kKinds kinds,
// one line says that more are not shown.
bool FirstOfItsKind(const XErrorEvent& error) {
    constexpr int kKinds = 16;
    static unsigned kinds[kKinds];
    static int known = 0;
    const unsigned kind = unsigned(error.error_code) << 16 | unsigned(error.request_code) << 8 |
                          unsigned(error.minor_code & 0xff);
    for (int i = 0; i < known; ++i) {
        if (kinds[i] == kind) return false;
    }
    if (known < kKinds) {
        kinds[known++] = kind;
        return true;
    }
    static bool toldOfMore = false;
    if (!toldOfMore) {
        toldOfMore = true;
        WriteLine("The display ", g_displayName,
                  " refused more kinds of requests; they are not shown.\n");
    }
    return false;
}

void NoteRefusal(Display* display, const XErrorEvent& error, const char* outcome) {
    char request[128], why[160], tail[512];
    RequestName(display, error, request, sizeof request);
    XGetErrorText(display, error.error_code, why, sizeof why);
    std::snprintf(tail, sizeof tail, " refused the game's request %s: %s. %s\n", request, why,
                  outcome);
    WriteLine("The display ", g_displayName, tail);
}

// Xlib's own handler prints its report and exits at once. Until the window
// is ready nothing is at stake (no level has run): one line, and the game
// ends. Later, a refusal that names the game's window ends the level as a
// lost display does, leaving a guarded call it cuts short (GLFW would go on
// with what the refused request never filled in); any other is noted and
// the game plays on. After the loss, the refusals that follow are its echo.
int OnRequestRefused(Display* display, XErrorEvent* error) {
    if (!g_windowReady.load()) {
        NoteRefusal(display, *error, "The game cannot start.");
        _exit(1);
    }
    if (NamesGameWindow(*error)) {
        NoteWindowGone();
        LeaveWindowSystemCall();
        return 0;
    }
    if (!g_displayLost.load() && FirstOfItsKind(*error)) {
        NoteRefusal(display, *error, "The game goes on.");
    }
    return 0;
}

bool ConnectionGone() {
    return g_displayLost.load() || ConnectionHungUp();
}

void NoteLossOfDisplay() {
    NoteLoss(g_displayName);
}

}  // namespace

// GLFW 3.3 gives Xlib's default handler back (XSetErrorHandler(NULL)) each
// time it releases its own, as around the window's making: a handler set
// once would not stay. This definition, which the libraries' calls reach
// before Xlib's, puts the game's in place instead; a handler set by name
// (GLFW's own for a while, Mesa's) is set as asked.
extern "C" XErrorHandler XSetErrorHandler(XErrorHandler handler) {
    using Set = XErrorHandler (*)(XErrorHandler);
    static const Set xlibs = reinterpret_cast<Set>(dlsym(RTLD_NEXT, "XSetErrorHandler"));
    return xlibs ? xlibs(handler ? handler : OnRequestRefused) : nullptr;
}

bool OpenDisplayConnection() {
    XSetIOErrorHandler(OnIoError);
    XSetErrorHandler(OnRequestRefused);
    if (!glfwInit()) return false;
    Display* display = glfwGetX11Display();
    g_connection = ConnectionNumber(display);
    std::snprintf(g_displayName, sizeof g_displayName, "%s", DisplayString(display));
    // Mesa asks the server through its own connection calls, past Xlib, and
    // dereferences a missing reply while the window is made.
    GuardTheStart(ConnectionLoss{ConnectionGone, NoteLossOfDisplay});
    return true;
}

void DisplayConnectionReady(GLFWwindow* window) {
    if (Display* display = glfwGetX11Display()) {
        XSetIOErrorExitHandler(display, OnIoErrorExit, nullptr);
    }
    if (window) {
        g_gameWindow = glfwGetX11Window(window);
        g_gameDrawable = glfwGetGLXWindow(window);
    }
    EndStartGuard();
    g_windowReady.store(true);
}

void CloseDisplayConnection() {
    EndStartGuard();
    // With the window gone the connection still answers, but the game has
    // nothing left to ask of it.
    if (!WindowSystemCallLeft() && !g_windowGone.load()) {
        CallWindowSystem([] { glfwTerminate(); });
    }
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
