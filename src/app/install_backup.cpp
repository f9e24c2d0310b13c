// The install's safety net: a backup of the database before its first change, and a rehearsal
// that applies the packages to a copy restored from its own backup.

#include "app/database_backup.h"
#include "app/install_sequence.h"
#include "app/service_progress.h"
#include "base/exceptions.h"
#include "base/text.h"
#include "db/firebird_error.h"
#include "db/services.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "update/update_journal.h"

namespace norvane::app {

namespace {

std::string RecordFolder(const std::string& workDir) {
    return JoinPath(workDir, RehearsalFolderName);
}

// The name a database on the same server as databaseName is attached by.
std::string NameOnServerOf(std::string_view databaseName, const std::string& path) {
    const std::string server = db::SplitDatabaseName(databaseName).Server;
    return server.empty() ? path : server + ":" + path;
}

} // namespace

void InstallSequence::RemoveRehearsalLeftovers() {
    // A link in place of the records' folder would have records read and files made wherever
    // it leads.
    platform::RemoveLink(RecordFolder(m_plan.workDir));
    // Only this run holds the work folder now, so what a record names is no one's.
    for (const std::string& failure :
         app::RemoveRehearsalLeftovers(RecordFolder(m_plan.workDir), m_values.ExeDir,
                                       m_values.GlobDB->GetDatabase().Params())) {
        m_window.ShowMessageBox(failure, ui::MessageKind::Warning);
        m_history.Add("попередження: " + failure);
    }
}

bool InstallSequence::BackUpBeforeUpdate() {
    return m_values.BackupFolder.empty() ||
           BackUpDatabase(m_values.BackupFolder, nullptr).has_value();
}

std::optional<InstallSequence::BackupMade>
InstallSequence::BackUpDatabase(const std::string& folder, RehearsalFiles* rehearsal) {
    db::Database& database = m_values.GlobDB->GetDatabase();
    const std::string name = database.DatabaseName();
    BackupMade made;
    made.file =
        JoinServerPath(folder, db::BackupFileName(name, m_plan.currentVersion, LocalBackupTime()));
    m_window.AddStatus("Резервна копія бази даних...");
    try {
        if (rehearsal != nullptr)
            rehearsal->NoteBackup(name, made.file);
        ServiceProgressDisplay display(m_window, "Резервна копія бази даних", ServiceKind::Backup);
        db::ServiceManager manager(m_values.ExeDir, name, database.Params());
        made.bytes =
            manager.Backup(db::SplitDatabaseName(name).Path, made.file, display.Callbacks());
        made.tablesWithRows = display.TablesWithRows();
    } catch (const db::EFirebirdError& error) {
        StopInstall(RunReport::Install::Failed,
                    "резервну копію бази даних не створено: " + OneLine(error.what()));
        return std::nullopt;
    } catch (const EOSError& error) {
        StopInstall(RunReport::Install::Failed,
                    "резервну копію бази даних не створено: " + error.Message());
        return std::nullopt;
    }
    m_window.MarkStatus("[OK]");
    m_window.AddStatus(made.file);
    m_history.Add("резервна копія: " + made.file + " (" + std::to_string(made.bytes) + " байт)");
    return made;
}

std::string InstallSequence::RehearsalFolder() {
    if (!m_values.BackupFolder.empty())
        return m_values.BackupFolder;
    const std::string name = m_values.GlobDB->GetDatabase().DatabaseName();
    // A server can write only to its own folders; the database's is one.
    if (!db::SplitDatabaseName(name).Server.empty())
        return ServerFolderOf(name);
    return RecordFolder(m_plan.workDir);
}

void InstallSequence::Rehearse(RunLocks& locks, const std::string& archiver) {
    const std::string records = RecordFolder(m_plan.workDir);
    if (!platform::FolderExists(records) && !platform::CreateFolder(records))
        return StopInstall(RunReport::Install::Failed, "не вдалося створити каталог " + records +
                                                           ": " +
                                                           platform::LastSystemError().message);
    EmptyKeptLogs(m_plan.keptLogsFolder);
    RehearsalFiles files(records, m_values.ExeDir, m_values.GlobDB->GetDatabase().Params());
    // However the rehearsal ends, the lock on the copy goes first, then the copy.
    struct Ending {
        InstallSequence& sequence;
        RunLocks& locks;
        RehearsalFiles& files;
        ~Ending() {
            ReleaseDatabaseLock(locks);
            sequence.EndRehearsal(files);
        }
    } ending{*this, locks, files};

    const std::string folder = RehearsalFolder();
    if (folder.empty())
        return StopInstall(RunReport::Install::Failed,
                           "для репетиції бази даних, названої псевдонімом на сервері, потрібна "
                           "тека на сервері: --backup ТЕКА");
    StopOnAbort([&] {
        const auto backup = BackUpDatabase(folder, &files);
        if (!backup || !RestoreRehearsalCopy(*backup, files) || !CheckDatabase(locks))
            return;
        ApplyPackages(archiver, locks);
    });
}

bool InstallSequence::RestoreRehearsalCopy(const BackupMade& backup, RehearsalFiles& files) {
    db::Database& database = m_values.GlobDB->GetDatabase();
    const std::string name = database.DatabaseName();
    const std::string server = db::SplitDatabaseName(name).Server;
    const std::string copyPath = RehearsalCopyPath(backup.file);
    const std::string copyName = NameOnServerOf(name, copyPath);
    m_window.AddStatus("Копія бази даних для репетиції...");
    const auto stop = [&](const std::string& why) {
        StopInstall(RunReport::Install::Failed,
                    "копію бази даних для репетиції не створено: " + why);
        return false;
    };
    // A backup cut short would make gbak wait for its next volume.
    if (server.empty() || IsThisMachine(server)) {
        const auto size = platform::FileSize(backup.file);
        if (size != backup.bytes)
            return stop("резервна копія " + backup.file + " має " +
                        (size ? std::to_string(*size) : std::string("0")) + " байт, а не " +
                        std::to_string(backup.bytes));
    }
    try {
        files.NoteCopy(copyName);
        ServiceProgressDisplay display(m_window, "Копія бази даних для репетиції",
                                       ServiceKind::Restore, backup.tablesWithRows);
        db::ServiceManager manager(m_values.ExeDir, name, database.Params());
        manager.Restore(backup.file, copyPath, db::RestoreTarget::CreateNew, display.Callbacks());
        m_values.GlobDB->Connect(server, copyPath, "", "");
    } catch (const db::EFirebirdError& error) {
        return stop(OneLine(error.what()));
    } catch (const EOSError& error) {
        return stop(error.Message());
    }
    m_window.MarkStatus("[OK]");
    m_window.AddStatus(copyName);
    m_history.Add("репетиція на копії: " + copyName);
    return true;
}

void InstallSequence::EndRehearsal(RehearsalFiles& files) {
    db::Database& database = m_values.GlobDB->GetDatabase();
    if (!files.CopyName().empty() && database.Connected() &&
        database.DatabaseName() == files.CopyName()) {
        try {
            m_history.Add("версія копії після оновлення: " +
                          std::to_string(m_values.GlobDB->CommittedVersion()));
        } catch (const std::exception& error) {
            m_history.Add("версія копії після оновлення невідома: " + OneLine(error.what()));
        }
        // Dropped through its own attachment; when that fails, detached and removed below.
        try {
            database.Drop();
        } catch (const std::exception&) {
            try {
                database.Close();
            } catch (const std::exception&) {
            }
        }
    }
    if (!files.Noted())
        return;
    m_window.AddStatus("Видалення копії бази даних...");
    std::vector<std::string> failures;
    try {
        failures = files.Remove();
    } catch (const std::exception& error) {
        failures.push_back(OneLine(error.what()));
    }
    if (failures.empty()) {
        m_window.MarkStatus("[OK]");
        m_history.Add("копію бази даних і її резервну копію видалено");
    }
    for (const std::string& failure : failures) {
        m_window.ShowMessageBox(failure, ui::MessageKind::Warning);
        m_history.Add("попередження: " + failure);
    }
}

void InstallSequence::PassOverProgramFiles(std::int32_t number,
                                           const std::vector<package::ProgramFile>& files,
                                           update::UpdateJournal* journal) {
    for (const package::ProgramFile& file : files) {
        m_window.AddStatus(std::string(FileNameOf(file.source)) + "...");
        m_window.MarkStatus("[репетиція: не скопійовано]");
        m_history.Add("  не скопійовано (репетиція): " + file.destination);
    }
    if (journal != nullptr)
        journal->FinishPackage(number);
    m_window.PumpMessages();
}

} // namespace norvane::app
