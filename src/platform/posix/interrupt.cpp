#include "platform/interrupt.h"

#include <pthread.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace norvane::platform {

namespace {

constexpr std::array<int, 3> EndSignals{SIGTERM, SIGINT, SIGHUP};

// Set once TakeOverSignals has given the requests to end a thread of their own; a guard then
// only tells that thread whether to note them or to end the program.
std::atomic<bool> takenOver{false};
std::atomic<bool> guarding{false};

// The actions in force before a guard of a program that did not take its signals over, put
// back when the guard goes.
std::array<struct sigaction, EndSignals.size()> previous{};

extern "C" void OnEndSignal(int) {
    RequestInterrupt();
}

sigset_t EndSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : EndSignals)
        sigaddset(&set, signal);
    return set;
}

// Ends the program as the signal's default action does: with every other thread blocking it,
// only this one can take it.
[[noreturn]] void EndAsDefault(int signal) {
    ::signal(signal, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
    ::raise(signal);
    // Not reached: the default action of every end signal ends the process.
    std::_Exit(128 + signal);
}

void TakeEndSignals(sigset_t set) {
    for (;;) {
        int signal = 0;
        if (::sigwait(&set, &signal) != 0)
            continue;
        if (guarding.load())
            RequestInterrupt();
        else
            EndAsDefault(signal);
    }
}

} // namespace

void TakeOverSignals() {
    if (takenOver.exchange(true))
        return;
    // Ignored, a write past the limit fails with EFBIG and is reported like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    const sigset_t set = EndSignalSet();
    // Threads inherit the mask of the thread that starts them: every later thread blocks the
    // requests too, the engine's among them.
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(TakeEndSignals, set).detach();
}

InterruptGuard::InterruptGuard() {
    ClearInterrupt();
    if (takenOver.load()) {
        guarding.store(true);
        return;
    }
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes are resumed; the install looks at the request itself.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < EndSignals.size(); ++i)
        ::sigaction(EndSignals[i], &action, &previous[i]);
}

InterruptGuard::~InterruptGuard() {
    if (takenOver.load()) {
        guarding.store(false);
        return;
    }
    for (std::size_t i = 0; i < EndSignals.size(); ++i)
        ::sigaction(EndSignals[i], &previous[i], nullptr);
}

void IgnoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace norvane::platform
