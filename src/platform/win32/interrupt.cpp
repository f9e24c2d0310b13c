#include "platform/interrupt.h"

#include "platform/win32/wide.h"

namespace norvane::platform {

namespace {

// Set when the guard goes, so that a console being closed waits for the step in progress.
HANDLE stepsDone = nullptr;

// The system ends the process soon after a close, log-off or shutdown handler returns; this
// stays under its limit of five seconds.
constexpr DWORD CloseWaitMilliseconds = 4500;

BOOL WINAPI OnConsoleControl(DWORD event) {
    RequestInterrupt();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        if (stepsDone != nullptr)
            ::WaitForSingleObject(stepsDone, CloseWaitMilliseconds);
    }
    return TRUE;
}

} // namespace

InterruptGuard::InterruptGuard() {
    ClearInterrupt();
    stepsDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

InterruptGuard::~InterruptGuard() {
    if (stepsDone != nullptr)
        ::SetEvent(stepsDone);
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

// Console events come on a thread the system starts for them; there is nothing to take over.
void TakeOverSignals() {}

// Windows has no SIGPIPE: a write to a closed pipe already fails with an error.
void IgnoreBrokenPipes() {}

} // namespace norvane::platform
