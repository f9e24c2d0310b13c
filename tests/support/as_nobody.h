#pragma once

#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace norvane::testing {

/// Runs body in a child process as the unprivileged user "nobody" and returns its exit code
/// (254 when the user cannot be changed), since permission checks do not apply to root.
inline int AsNobody(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(254);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

} // namespace norvane::testing
