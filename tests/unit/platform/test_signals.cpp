// The quit signals' handlers, and the guard around calls into the window
// system's libraries, installed in a stand-in for the game forked from the
// test, so that the test process keeps its own.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "Platform/Signals.h"
#include "Platform/WindowSystemGuard.h"

// A child forked from the game that has not run another program (or never
// will) is not the game: a quit signal ends it as it would a process without
// the game's handlers, whichever thread forked it. The game still takes the
// signal as its quit. Exit codes of the stand-in: 1 the child did not end
// within a second, 2 it ended otherwise, 3 the game missed its quit.
TEST(QuitSignals, AChildForkedFromTheGameEndsByTheSignal) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        for (bool fromThread : {false, true}) {
            SCOPED_TRACE(std::string(strsignal(signal)) + (fromThread ? ", from a thread" : ""));
            const pid_t game = fork();
            ASSERT_GE(game, 0);
            if (game == 0) {
                std::signal(SIGHUP, SIG_DFL);  // also when the tests run under nohup
                InstallQuitSignals();
                pid_t child = -1;
                auto forkIdle = [&child] {
                    if ((child = fork()) == 0) {
                        for (;;) pause();
                    }
                };
                fromThread ? std::thread(forkIdle).join() : forkIdle();
                kill(child, signal);
                int status = 0;
                pid_t ended = 0;
                for (int i = 0; i < 100 && (ended = waitpid(child, &status, WNOHANG)) == 0; ++i) {
                    usleep(10000);
                }
                if (ended != child) {
                    kill(child, SIGKILL);
                    _exit(1);
                }
                if (!WIFSIGNALED(status) || WTERMSIG(status) != signal) _exit(2);
                raise(signal);
                _exit(QuitSignalReceived() ? 0 : 3);
            }
            int status = 0;
            ASSERT_EQ(waitpid(game, &status, 0), game);
            ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
            EXPECT_EQ(WEXITSTATUS(status), 0);
        }
    }
}

namespace {
bool g_gone = false;
int g_notes = 0;

// A write to a page that allows none: a fault no sanitizer sees first.
void Fault() {
    *static_cast<volatile int*>(mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)) =
        1;
}
}  // namespace

// A crash in a call into the window system while the connection is gone is
// the loss; any other crash (also one on another thread, or one outside a
// call once a call was left), and a crash signal that a process sent (also
// once a call was left), ends the stand-in as without the guard.
TEST(WindowSystemGuard, ACrashIsTheLossOnlyWhileTheConnectionIsGone) {
    const auto sent = [] { kill(getpid(), SIGSEGV); };
    const struct {
        bool gone;
        void (*crash)();
        void (*after)();  // once the call was left
        int ended;        // the stand-in's exit code; -1: a signal ended it
    } cases[] = {{true, Fault, nullptr, 7},
                 {false, Fault, nullptr, -1},
                 {true, [] { raise(SIGBUS); }, nullptr, -1},
                 {true, Fault, sent, -1},
                 {true, Fault, Fault, -1},
                 {true, [] { std::thread(Fault).join(); }, nullptr, -1}};
    for (const auto& c : cases) {
        const pid_t child = fork();
        if (child == 0) {
            g_gone = c.gone;
            GuardTheStart({[] { return g_gone; }, [] { ++g_notes; }});
            EndStartGuard();
            // Left, noted once, and nothing is called again.
            bool again = false;
            const bool whole = CallWindowSystem(c.crash);
            const bool refused = !CallWindowSystem([&] { again = true; });
            if (c.after) c.after();
            _exit(!whole && refused && !again && WindowSystemCallLeft() && g_notes == 1 ? 7 : 3);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.ended);
    }
}
