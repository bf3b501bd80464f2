// The quit signals' handlers, installed in a stand-in for the game forked
// from the test, so that the test process keeps its own.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "Platform/Signals.h"

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
