// The guard around calls into the window system's libraries, in a stand-in
// for the game forked from the test: a crash in a call while the connection
// is gone is the loss; any other crash, and a crash signal a process sent,
// ends the stand-in as it would without the guard.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include "Platform/WindowSystemGuard.h"

namespace {

bool g_gone = false;
int g_notes = 0;

bool Gone() {
    return g_gone;
}
void Note() {
    ++g_notes;
}

// A real fault, one no sanitizer checks for first: a write to a page that
// allows none.
void Fault() {
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    *static_cast<volatile int*>(page) = 1;
}

// How the stand-in ended: its exit code, or -1 when a signal ended it.
int RunStandIn(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) _exit(body());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(WindowSystemGuard, ACrashIsTheLossOnlyWhileTheConnectionIsGone) {
    const struct {
        const char* what;
        bool gone;
        void (*inside)();
        bool inStart;
        int ended;  // the stand-in's exit code; -1: a signal (a crash) ended it
    } cases[] = {
        // Left: the call reports it, the loss is noted once, and nothing is
        // called again; the stand-in goes on to exit with 7.
        {"a fault, the connection gone", true, Fault, false, 7},
        {"a fault, the connection there", false, Fault, false, -1},
        {"SIGSEGV sent, the connection gone", true, [] { raise(SIGSEGV); }, false, -1},
        {"SIGBUS sent, the connection gone", true, [] { raise(SIGBUS); }, false, -1},
        {"a fault while starting, the connection gone", true, Fault, true, 1},
        {"a fault while starting, the connection there", false, Fault, true, -1},
        {"SIGSEGV sent while starting", true, [] { raise(SIGSEGV); }, true, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int ended = RunStandIn([&c] {
            g_gone = c.gone;
            GuardTheStart(ConnectionLoss{Gone, Note});
            if (c.inStart) {
                c.inside();
                return 2;
            }
            EndStartGuard();
            bool calledAgain = false;
            const bool whole = CallWindowSystem(c.inside);
            const bool refused = !CallWindowSystem([&] { calledAgain = true; });
            return !whole && refused && !calledAgain && WindowSystemCallLeft() && g_notes == 1 ? 7
                                                                                               : 3;
        });
        EXPECT_EQ(ended, c.ended);
    }
    // Without a loss, calls run whole, and a crash after the start's guard
    // is nobody's but the game's.
    EXPECT_EQ(RunStandIn([] {
                  GuardTheStart(ConnectionLoss{Gone, Note});
                  EndStartGuard();
                  int calls = 0;
                  const bool whole = CallWindowSystem([&] { ++calls; });
                  g_gone = true;
                  Fault();
                  return whole && calls == 1 ? 0 : 3;
              }),
              -1);
}
