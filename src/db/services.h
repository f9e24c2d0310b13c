#pragma once

#include "db/database.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace norvane::db {

/// A database name split where the client splits it: the server part before the first colon
/// ("host", "host/port", "[v6 address]/port"), empty for a path the engine of this process
/// opens, and the path on that server. A colon that follows a single drive letter ("C:\")
/// belongs to the path.
struct DatabaseLocation {
    std::string Server;
    std::string Path;
    bool operator==(const DatabaseLocation&) const = default;
};
DatabaseLocation SplitDatabaseName(std::string_view databaseName);

/// The service manager that serves a database name: "service_mgr" for a path (the embedded
/// engine), "<server>:service_mgr" for "<server>:<path>".
std::string ServiceManagerName(std::string_view databaseName);

/// A local date and time, as a backup's name records it.
struct BackupTime {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
};

/// The name of the backup file of a database: "<file name without folder and extension>-
/// <version>-<YYYYMMDD>T<HHMMSS>.fbk". The database name may hold a server part and either
/// kind of folder separator, since it names a file on the server's system.
std::string BackupFileName(std::string_view databaseName, std::int32_t version,
                           const BackupTime& time);

/// Drops the database a name attaches to with account: on its server, or a file of this
/// process's engine. False when there is no such database; raises EFirebirdError with the
/// client's text when it is there but cannot be dropped (in use, not a database).
bool DropDatabase(const std::string& exeDir, const std::string& databaseName,
                  const ConnectionParams& account);

/// What a caller learns while a backup or a restore runs. OnLine gets each line of the tool's
/// verbose output as it comes, OnWait is called about once a second while no line comes;
/// either may be empty. Either may throw (an interrupt, say) to stop waiting: the service is
/// detached, what it was writing is removed as after a failure, and the exception goes on.
struct ServiceProgress {
    std::function<void(const std::string& line)> OnLine;
    std::function<void()> OnWait;
};

/// What a restore does with a database file that exists already.
enum class RestoreTarget {
    /// The restore fails and the file is left as it was.
    CreateNew,
    /// The file is replaced; it must not be in use.
    Replace,
};

/// One attachment to the service manager of a server (or of the embedded engine), made with
/// an account; the backups and restores of the databases it serves run through it.
class ServiceManager {
public:
    /// Loads the client library and attaches to the service manager that serves
    /// databaseName (see ServiceManagerName) with account; file names go as UTF-8. Raises
    /// ELibraryError for the library and EFirebirdError with the client's text.
    ServiceManager(const std::string& exeDir, std::string_view databaseName,
                   const ConnectionParams& account);
    /// Detaches; never throws.
    ~ServiceManager();
    ServiceManager(const ServiceManager&) = delete;
    ServiceManager& operator=(const ServiceManager&) = delete;

    /// Whether the service manager is the embedded engine's, whose files are this process's.
    bool Embedded() const;

    /// Backs up the database at databasePath into backupFile (an existing file is replaced),
    /// both paths on the service manager's system, and returns the backup's size. Raises
    /// EFirebirdError with the service's text when the backup failed, and when it did not
    /// report a finished, non-empty file; no file of it is left behind then, as far as this
    /// process can see the server's files (the embedded engine's always).
    std::uint64_t Backup(std::string_view databasePath, std::string_view backupFile,
                         const ServiceProgress& progress = {});

    /// Restores backupFile into a database at databasePath, with the page size the backup
    /// recorded. Raises EFirebirdError with the service's text when the restore failed or did
    /// not report its end. A database that was not there before is removed again then: its
    /// file deleted for the embedded engine, dropped on a server (unless the service still
    /// holds it). A database that was there is left as the service left it. A backup file cut
    /// short makes gbak ask for its next volume on the terminal of the process it runs in (the
    /// server's, or this one's for the embedded engine) and end without an error when no one
    /// answers; OnWait keeps being called while it waits.
    void Restore(std::string_view backupFile, std::string_view databasePath, RestoreTarget target,
                 const ServiceProgress& progress = {});

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace norvane::db
