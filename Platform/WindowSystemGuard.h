// The window system's libraries (GLFW, and Xlib and Mesa under it) read
// replies that a broken connection never gives, and crash on the missing
// one: GLFW dereferences the null that Xlib returns for a video mode once
// the server has gone, Mesa the null of its own connection calls. A crash
// inside them while the connection is gone is the display's loss, not a
// fault of the game's. The display's own code says what the loss is.
//
// Any other crash goes on as without the guard: a fault runs again under the
// handler that was there before (the default, or a sanitizer's), and a
// SIGSEGV or SIGBUS that a process sent (`kill -SEGV`) is raised again under
// it, so that it ends the game as it would have.
#pragma once

struct ConnectionLoss {
    // Whether the connection is gone (noted, or its server hung up). Called
    // from a signal handler: async-signal-safe.
    bool (*happened)() = nullptr;
    // Notes the loss, with its one line. From a signal handler too.
    void (*note)() = nullptr;
};

// From here until EndStartGuard, such a crash on this thread ends the
// process with 1: while the window is made nothing is at stake yet (no level
// has run). After it, only such a crash inside CallWindowSystem is the loss.
void GuardTheStart(const ConnectionLoss& loss);
void EndStartGuard();
// The window system is ended, or its start failed: the guard is taken off.
void EndWindowSystemGuard();

// Runs call(data), a call into the window system's libraries, after the
// start, on the thread that started the guard. Such a crash inside it
// leaves the call: false. The libraries may then hold a lock or half an
// update, so nothing may call them again, their shutdown included
// (WindowSystemCallLeft). Without the guard, or inside the start's, it only
// calls.
bool CallWindowSystem(void (*call)(void*), void* data);
// Whether a call was left.
bool WindowSystemCallLeft();
// For a loss the libraries report themselves, on a connection that fails
// without a crash (Xlib's I/O error handlers): inside CallWindowSystem on
// the guard's thread after the start, leaves that call as a crash there
// does, for the libraries would go on with the dead connection (GLFW waits
// for an event that never comes, at full speed while older events stay
// queued). Returns anywhere else.
void LeaveWindowSystemCall();

// For a lambda or a function; it must hold no object with a destructor, as
// it may be left in the middle.
template <typename Call>
bool CallWindowSystem(Call call) {
    return CallWindowSystem([](void* data) { (*static_cast<Call*>(data))(); }, &call);
}
