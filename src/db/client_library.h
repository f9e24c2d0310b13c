#pragma once

#include <string>
#include <vector>

namespace norvane::db {

/// Where the Firebird client library is looked for, in order. NORVANE_FBCLIENT, when set,
/// names the only candidate.
std::vector<std::string> FirebirdClientCandidates(const std::string& exeDir);

} // namespace norvane::db
