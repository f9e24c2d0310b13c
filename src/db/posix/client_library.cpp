#include "db/client_library.h"

#include "platform/environment.h"

namespace norvane::db {

std::vector<std::string> FirebirdClientCandidates(const std::string& /*exeDir*/) {
    if (auto forced = platform::EnvironmentValue("NORVANE_FBCLIENT"))
        return {std::move(*forced)};
    // The system's loader path is where Debian puts the client; the installer folder is not
    // searched, so a stray library beside the program is never picked up.
    return {"libfbclient.so.2", "libfbclient.so"};
}

} // namespace norvane::db
