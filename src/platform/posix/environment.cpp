#include "platform/environment.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace norvane::platform {

std::optional<std::string> EnvironmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    return value;
}

ProcessIdentity ThisProcess() {
    ProcessIdentity identity;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0)
        identity.host = host;
    identity.processId = ::getpid();
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr)
        identity.user = found->pw_name;
    else
        identity.user = std::to_string(::geteuid());
    return identity;
}

} // namespace norvane::platform
