#include "platform/deadline.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace norvane::platform {

void RunOrEndProcess(std::chrono::milliseconds limit, int status,
                     const std::function<void()>& work) {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!done.wait_for(lock, limit, [&] { return finished; }))
            std::_Exit(status);
    });
    const auto finish = [&] {
        {
            std::lock_guard lock(mutex);
            finished = true;
        }
        done.notify_one();
        watchdog.join();
    };
    try {
        work();
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

} // namespace norvane::platform
