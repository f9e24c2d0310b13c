#include "platform/interrupt.h"

#include "base/exceptions.h"

#include <atomic>

namespace norvane::platform {

namespace {

// Set from signal handlers and console control threads: a lock-free atomic is safe there.
std::atomic<bool> interruptRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

} // namespace

bool InterruptRequested() {
    return interruptRequested.load();
}

void RequestInterrupt() {
    interruptRequested.store(true);
}

void ThrowIfInterrupted() {
    if (InterruptRequested())
        throw EUpdateAborted(EUpdateAborted::Cause::Interrupted, "оновлення перервано");
}

void ClearInterrupt() {
    interruptRequested.store(false);
}

} // namespace norvane::platform
