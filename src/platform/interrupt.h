#pragma once

namespace norvane::platform {

/// Takes over the signals of the whole program, to be called first in main, before any thread
/// starts: the requests to end (SIGTERM, SIGINT, SIGHUP) are blocked in every thread and taken
/// by one thread of the program's own, so that no library thread (the Firebird engine's) is
/// ever cut into by them; and a write past a file-size limit (SIGXFSZ) fails as on a full disk
/// instead of killing the program. Outside a guard a request to end ends the program as the
/// signal's default action would. Nothing on Windows, where console events come on a thread
/// of their own.
void TakeOverSignals();

/// While a guard lives, the requests to end the program (SIGTERM, SIGINT, SIGHUP; Ctrl+C and
/// the console's close on Windows) do not end it: they are noted, and the install stops at
/// its next stop point, after the statement or file in progress. Outside a guard they act as
/// usual, since nothing is then half done.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

/// Whether an end was asked for since the guard was made.
bool InterruptRequested();

/// Notes a request to end, as the signal handlers do.
void RequestInterrupt();

/// Forgets an earlier request; every guard starts with none.
void ClearInterrupt();

/// Raises EUpdateAborted when an end was asked for.
void ThrowIfInterrupted();

/// A write to a closed pipe (standard output read by "| head") fails instead of ending the
/// program.
void IgnoreBrokenPipes();

} // namespace norvane::platform
