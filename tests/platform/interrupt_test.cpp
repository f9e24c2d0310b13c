#include "platform/interrupt.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

namespace norvane::platform {
namespace {

// Runs body in a child process, since taking the signals over cannot be undone; how it ended:
// its exit code, or 128 + the signal that ended it.
int InChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool NotedWithin(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!InterruptRequested() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return InterruptRequested();
}

class TakeOverSignalsTest : public ::testing::TestWithParam<int> {};

TEST_P(TakeOverSignalsTest, NoLaterThreadIsCutIntoAndAGuardNotesTheRequest) {
    const int signal = GetParam();
    const int ended = InChild([signal] {
        TakeOverSignals();
        // A thread started afterwards, as the database engine's are, never takes the request.
        sigset_t mask;
        std::thread([&] { ::pthread_sigmask(SIG_BLOCK, nullptr, &mask); }).join();
        if (sigismember(&mask, signal) != 1)
            return 1;
        const InterruptGuard guard;
        ::kill(::getpid(), signal);
        return NotedWithin(std::chrono::seconds(5)) ? 0 : 2;
    });
    EXPECT_EQ(ended, 0);
}

TEST_P(TakeOverSignalsTest, OutsideAGuardARequestEndsTheProgramAsItsDefaultActionDoes) {
    const int signal = GetParam();
    const int ended = InChild([signal] {
        TakeOverSignals();
        { const InterruptGuard guard; }
        ::kill(::getpid(), signal);
        std::this_thread::sleep_for(std::chrono::seconds(5));
        return 3;
    });
    EXPECT_EQ(ended, 128 + signal);
}

INSTANTIATE_TEST_SUITE_P(Signals, TakeOverSignalsTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// A program that keeps its signals (a test, a tool) has them noted only while a guard stands,
// and its own actions back afterwards.
TEST(InterruptGuard, WithoutATakeOverARequestIsNotedAndTheOldActionComesBack) {
    struct sigaction before {};
    ASSERT_EQ(::sigaction(SIGHUP, nullptr, &before), 0);
    {
        const InterruptGuard guard;
        EXPECT_FALSE(InterruptRequested());
        ::raise(SIGHUP);
        EXPECT_TRUE(NotedWithin(std::chrono::seconds(5)));
    }
    struct sigaction after {};
    ASSERT_EQ(::sigaction(SIGHUP, nullptr, &after), 0);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
    ClearInterrupt();
}

TEST(TakeOverSignals, AWritePastAFileSizeLimitFailsLikeAFullDisk) {
    const testing::TempFolder folder;
    const std::string file = folder / "big";
    const int ended = InChild([&] {
        TakeOverSignals();
        const rlimit limit{16, 16};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT, 0600);
        const char bytes[64] = {};
        const bool failed = ::write(fd, bytes, sizeof bytes) == 16 &&
                            ::write(fd, bytes, sizeof bytes) < 0 && errno == EFBIG;
        return failed ? 0 : 1;
    });
    EXPECT_EQ(ended, 0);
}

} // namespace
} // namespace norvane::platform
