#pragma once

#include <chrono>
#include <functional>

namespace norvane::platform {

/// Runs work on this thread; when it has not returned after limit, ends the process at once
/// with status, from a thread of its own (destructors, handlers and open files left as they
/// are). For the last steps of a program, which must not keep it running forever.
void RunOrEndProcess(std::chrono::milliseconds limit, int status,
                     const std::function<void()>& work);

} // namespace norvane::platform
