// The quit signals' handlers in a process of their own (a stand-in for the
// game, forked from the test), so that the test process keeps its own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "Platform/Signals.h"

namespace {

// The stand-in's exit codes.
enum Outcome { kFine, kChildSpun, kChildEndedOtherwise, kGameMissedItsQuit };

// Forks an idle child, from the main thread or from another one, as a
// library does before it runs its helper program, signals it and waits a
// second for it to end by that signal; then signals the stand-in itself.
[[noreturn]] void StandInGame(int signal, bool fromThread) {
    InstallQuitSignals();
    pid_t child = -1;
    auto forkIdle = [&child] {
        child = fork();
        if (child == 0) {
            for (;;) pause();
        }
    };
    if (fromThread) {
        std::thread(forkIdle).join();
    } else {
        forkIdle();
    }
    kill(child, signal);
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 100 && ended == 0; ++i) {
        ended = waitpid(child, &status, WNOHANG);
        if (ended == 0) usleep(10000);
    }
    if (ended != child) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        _exit(kChildSpun);
    }
    if (!WIFSIGNALED(status) || WTERMSIG(status) != signal) _exit(kChildEndedOtherwise);
    // The game itself still takes the signal as its quit.
    raise(signal);
    _exit(QuitSignalReceived() ? kFine : kGameMissedItsQuit);
}

}  // namespace

// A child forked from the game that has not run another program (or never
// will) is not the game: a quit signal ends it as it would a process without
// the game's handlers, whichever thread forked it.
TEST(QuitSignals, AChildForkedFromTheGameEndsByTheSignal) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        for (bool fromThread : {false, true}) {
            SCOPED_TRACE(std::string(strsignal(signal)) +
                         (fromThread ? ", forked from a thread" : ", forked from main"));
            const pid_t game = fork();
            ASSERT_GE(game, 0);
            if (game == 0) {
                // A hangup the test run ignores (nohup) would not be handled.
                std::signal(SIGHUP, SIG_DFL);
                StandInGame(signal, fromThread);
            }
            int status = 0;
            ASSERT_EQ(waitpid(game, &status, 0), game);
            ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
            EXPECT_EQ(WEXITSTATUS(status), kFine)
                << "1: the child did not end; 2: it ended otherwise; 3: the game missed its quit";
        }
    }
}
