#pragma once

#include "db/database.h"
#include "db/services.h"

#include <string>
#include <string_view>
#include <vector>

namespace norvane::app {

/// The work folder's folder of rehearsals: their records, their files when the database is
/// this process's own and no folder is given, and the logs of their failing scripts.
inline constexpr std::string_view RehearsalFolderName = "rehearsal";

/// The local time now, as the name of a backup file records it.
db::BackupTime LocalBackupTime();

/// The time of a "YYYY-MM-DD hh:mm:ss" text; all zero when it is not one.
db::BackupTime BackupTimeOf(std::string_view localTimeText);

/// name in folder, a folder of the machine that serves the database: joined with the last
/// separator the folder's path uses (a Windows server's "\" from a Linux client), else the
/// native one.
std::string JoinServerPath(std::string_view folder, std::string_view name);

/// The folder of a database's file on the machine that serves it; empty for a bare file name.
std::string ServerFolderOf(std::string_view databaseName);

/// Whether the server part of a database name is this machine ("localhost", a loopback
/// address, with or without a port), whose files this process can reach by the same paths.
bool IsThisMachine(std::string_view server);

/// The database a rehearsal runs on, made from its own backup: "<backup without .fbk>
/// .rehearsal.fdb" beside it.
std::string RehearsalCopyPath(std::string_view backupFile);

/// The files of one rehearsal, its backup and the copy restored from it, each noted in a
/// record in the work folder before it is made. The files are removed when the rehearsal ends,
/// and a rehearsal killed on the way leaves its record, from which the next run removes them
/// (RemoveRehearsalLeftovers).
class RehearsalFiles {
public:
    /// recordFolder: the work folder's own folder for the record; the account attaches to a
    /// copy on a server to drop it.
    RehearsalFiles(std::string recordFolder, std::string exeDir, db::ConnectionParams account);
    /// Removes what is left; never throws.
    ~RehearsalFiles();
    RehearsalFiles(const RehearsalFiles&) = delete;
    RehearsalFiles& operator=(const RehearsalFiles&) = delete;

    /// Notes the backup file (a path on the server of databaseName) before it is made.
    void NoteBackup(std::string_view databaseName, const std::string& backupFile);
    /// Notes the copy (the name it is attached by) before it is restored.
    void NoteCopy(const std::string& copyName);

    /// The copy's name once noted, else empty.
    const std::string& CopyName() const { return m_copyName; }
    /// Whether anything was noted.
    bool Noted() const { return m_noted; }

    /// Removes the copy and the backup; the copy must no longer be attached. What could not
    /// be removed, each as a line to show (a backup on another machine, a copy the server
    /// still holds); nothing when all went.
    std::vector<std::string> Remove();

private:
    std::string m_record;
    std::string m_exeDir;
    db::ConnectionParams m_account;
    std::string m_copyName;
    bool m_noted = false;
    bool m_removed = false;
};

/// Deletes the files of every package folder below folder (the logs an earlier rehearsal kept).
void EmptyKeptLogs(const std::string& folder);

/// Removes the backups and copies of earlier rehearsals that were cut off, as their records
/// in recordFolder name them, and the records. What could not be removed, each as a line to
/// show.
std::vector<std::string> RemoveRehearsalLeftovers(const std::string& recordFolder,
                                                  const std::string& exeDir,
                                                  const db::ConnectionParams& account);

} // namespace norvane::app
