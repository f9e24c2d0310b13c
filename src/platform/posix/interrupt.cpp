#include "platform/interrupt.h"

#include <array>
#include <csignal>

namespace norvane::platform {

namespace {

constexpr std::array<int, 3> EndSignals{SIGTERM, SIGINT, SIGHUP};

// The actions in force before the guard, put back when it goes.
std::array<struct sigaction, EndSignals.size()> previous{};

extern "C" void OnEndSignal(int) {
    RequestInterrupt();
}

} // namespace

InterruptGuard::InterruptGuard() {
    ClearInterrupt();
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes are resumed; the install looks at the request itself.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < EndSignals.size(); ++i)
        ::sigaction(EndSignals[i], &action, &previous[i]);
}

InterruptGuard::~InterruptGuard() {
    for (std::size_t i = 0; i < EndSignals.size(); ++i)
        ::sigaction(EndSignals[i], &previous[i], nullptr);
}

void IgnoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace norvane::platform
