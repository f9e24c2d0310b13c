#pragma once

#include "db/glob_db.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace norvane::app {

inline constexpr std::int32_t DefaultLockWaitSeconds = 300;

/// The values the whole run shares. Created once by the program entry and passed down.
struct ProcessValues {
    std::string ExeDir;
    std::string IniPath;
    std::string PathBaseIB;
    std::string NameServer;
    std::int32_t TypeServer = 0;
    /// Every statement and blob file committed on its own, so that other connections see it
    /// at once, instead of in groups.
    bool OneTransactionPerStatement = false;
    /// How long a statement may wait for rows other connections hold before the update
    /// stops; zero waits for as long as they are held.
    std::int32_t LockWaitSeconds = DefaultLockWaitSeconds;
    /// The folder a backup of the database is made in before its first change; empty for
    /// none. On the database's server when it has one.
    std::string BackupFolder;
    /// The packages are applied to a copy of the database, which is removed again; the
    /// database itself and the program folder are left as they are.
    bool Rehearsal = false;
    std::vector<std::string> PackageList;
    std::unique_ptr<db::CGlobDB> GlobDB;
};

} // namespace norvane::app
