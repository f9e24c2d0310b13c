#pragma once

#include "app/history_file.h"
#include "app/process_values.h"
#include "app/run_report.h"
#include "package/packages.h"
#include "package/program_files.h"
#include "ui/window.h"
#include "update/update_folder_runner.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::db {
class EFirebirdError;
} // namespace norvane::db

namespace norvane::update {
class UpdateJournal;
} // namespace norvane::update

namespace norvane::app {

class RehearsalFiles;

/// Why an installer refuses a database another one is updating.
inline constexpr std::string_view DatabaseBusyText =
    "базу даних уже оновлює інша запущена програма оновлення";

/// What the checks decided the install is to do.
struct InstallPlan {
    std::string workDir;
    /// The version the checks read; the first package applied is the next one.
    std::int32_t currentVersion = 0;
    std::int32_t newestPackage = 0;
    /// A package whose update was cut off after its version came: its blob files and program
    /// files are finished before the newer packages.
    std::optional<std::int32_t> completing;
    /// Where the logs of failing scripts are kept, one folder a package.
    std::string keptLogsFolder;
    /// The log of the last script with lines of an earlier install, where blob failures go
    /// until a script of this one has lines.
    std::string lastScriptLog;
    /// The database is at the newest package already: only its program files are copied,
    /// and the database is neither locked nor written.
    bool programFilesOnly = false;
};

/// The install behind btOK: the work folder and the locks, then every package from the
/// database's version on, each written out, unpacked, checked, applied to the database and
/// its program files copied. A step that refuses says why in the memo, notes it in the report
/// and the history, and ends the install with the window in its end state.
class InstallSequence {
public:
    InstallSequence(ui::Window& window, ProcessValues& values, RunReport& report,
                    HistoryFile& history, InstallPlan plan);

    void Run();

    /// The log blob failures of a later install would go to.
    const std::string& LastScriptLog() const { return m_plan.lastScriptLog; }

private:
    class RunLocks;

    /// How far the database part of one package came.
    struct DatabaseOutcome {
        update::UpdateFolderOutcome folder;
        bool versionReached = false;
    };

    bool PrepareWorkFolder(RunLocks& locks);
    // What can refuse the database without changing it: read-only, or locked by another
    // installer (where the lock's table is there).
    bool CheckDatabase(RunLocks& locks);
    bool TakeDatabaseLock(RunLocks& locks);
    // After the run's checks and the backup, before the first package: the installer's
    // tables, the lock.
    bool ClaimDatabase(RunLocks& locks);
    std::string Explained(const db::EFirebirdError& error) const;
    void ApplyPackages(const std::string& archiver, RunLocks& locks);
    void InstallPackages(const std::string& archiver, update::UpdateJournal& journal);
    bool InstallPackage(std::int32_t number, const std::string& archiver,
                        update::UpdateJournal& journal);
    void InstallProgramFilesOnly(const std::string& archiver);
    /// The package written out, unpacked and checked, and its program files found able to
    /// go in place; nothing when a step stopped the install.
    std::optional<std::vector<package::ProgramFile>>
    PreparePackage(std::int32_t number, const std::string& archive, const std::string& archiver);

    // The steps of one package, in order; each returns false when it stopped the install.
    void AnnouncePackage(std::int32_t number);
    bool EmptyWorkFolder();
    std::optional<package::CheckedPackage> SavePackage(std::int32_t number,
                                                       const std::string& archive);
    bool UnpackPackage(const std::string& archive, const std::string& archiver);
    bool CheckUnpacked(std::int32_t number, const std::vector<package::RarMember>& members);
    bool CheckProgramFiles(const std::vector<package::ProgramFile>& files);
    DatabaseOutcome ApplyToDatabase(std::int32_t number, update::UpdateJournal& journal);
    /// Copies the files; with a journal, the package is recorded complete when all came.
    void CopyProgramFiles(std::int32_t number, const std::vector<package::ProgramFile>& files,
                          update::UpdateJournal* journal);

    // The safety net (install_backup.cpp): a backup before the first change, and a rehearsal
    // that applies the packages to a copy restored from its own backup.
    struct BackupMade {
        std::string file;
        std::uint64_t bytes = 0;
        int tablesWithRows = 0;
    };
    static void ReleaseDatabaseLock(RunLocks& locks);
    void RemoveRehearsalLeftovers();
    bool BackUpBeforeUpdate();
    std::optional<BackupMade> BackUpDatabase(const std::string& folder, RehearsalFiles* rehearsal);
    void Rehearse(RunLocks& locks, const std::string& archiver);
    std::string RehearsalFolder();
    bool RestoreRehearsalCopy(const BackupMade& backup, RehearsalFiles& files);
    void EndRehearsal(RehearsalFiles& files);
    void PassOverProgramFiles(std::int32_t number, const std::vector<package::ProgramFile>& files,
                              update::UpdateJournal* journal);
    /// Runs steps; an error after which nothing more may run stops the install.
    void StopOnAbort(const std::function<void()>& steps);

    void RecordDatabaseOutcome(const update::UpdateFolderOutcome& outcome);
    bool VersionReached(std::int32_t number);
    bool StillAtNewestPackage();
    void StopInstall(RunReport::Install outcome, std::string_view reason);
    void SetInstallControlsVisible(bool visible);
    void EndInstall();

    ui::Window& m_window;
    ProcessValues& m_values;
    RunReport& m_report;
    HistoryFile& m_history;
    InstallPlan m_plan;
};

} // namespace norvane::app
