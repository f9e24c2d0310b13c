#include "db/client_library.h"

#include "platform/environment.h"
#include "platform/paths.h"

namespace norvane::db {

std::vector<std::string> FirebirdClientCandidates(const std::string& exeDir) {
    if (auto forced = platform::EnvironmentValue("NORVANE_FBCLIENT"))
        return {std::move(*forced)};
    // The product brings its client beside the installer; the system's search path comes
    // after it.
    return {JoinPath(exeDir, "fbclient.dll"), "fbclient.dll"};
}

} // namespace norvane::db
