#include "app/install_sequence.h"

#include "base/exceptions.h"
#include "base/text.h"
#include "db/database.h"
#include "db/firebird_error.h"
#include "db/own_tables.h"
#include "db/run_lock.h"
#include "db/table_ids.h"
#include "package/packages.h"
#include "package/rar_archive.h"
#include "package/unpacked_package.h"
#include "package/work_folder.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "update/update_journal.h"

#include <array>
#include <chrono>
#include <memory>

namespace norvane::app {

using ui::Control;

namespace {

// Room kept free beside a package for the logs its run writes.
constexpr std::uint64_t LogRoom = 1024 * 1024;

std::string DamagedPackageText(std::int32_t number, std::string_view why) {
    return "пакет " + std::to_string(number) + " пошкоджено: " + std::string(why);
}

std::string ScriptHistoryLine(const update::ScriptOutcome& script) {
    const update::ScriptRun& run = script.run;
    std::string line = "  " + script.name + ": ";
    if (run.passedOver)
        return line + "не виконувався (пакет завершено без нього)";
    line += "помилок " + std::to_string(run.failures);
    if (run.resumed)
        line += std::string(run.changed ? ", змінений скрипт" : "") +
                ", уже виконано раніше: " + std::to_string(run.doneBefore) +
                ", виконано тепер: " + std::to_string(run.ranNow);
    if (!script.log.empty())
        line += ", журнал " + script.log;
    return line;
}

// The refusal of a database another installer updates, naming it when its lock row does.
std::string BusyText(const std::optional<db::LockHolder>& holder) {
    std::string text(DatabaseBusyText);
    if (holder)
        text += " (комп'ютер " + holder->host + ", процес " + std::to_string(holder->processId) +
                ", користувач " + holder->user + ", з " + holder->takenAt + ")";
    return text;
}

std::string Megabytes(std::uint64_t bytes) {
    return std::to_string((bytes + 1024 * 1024 - 1) / (1024 * 1024));
}

} // namespace

// What keeps a second installer out while this one runs: the work folder's lock file and a
// lock in the database. Both go when the install returns.
class InstallSequence::RunLocks {
public:
    std::optional<platform::FileLock> workFolder;
    std::unique_ptr<db::DatabaseRunLock> database;
};

void InstallSequence::ReleaseDatabaseLock(RunLocks& locks) {
    locks.database.reset();
}

InstallSequence::InstallSequence(ui::Window& window, ProcessValues& values, RunReport& report,
                                 HistoryFile& history, InstallPlan plan)
    : m_window(window), m_values(values), m_report(report), m_history(history),
      m_plan(std::move(plan)) {}

void InstallSequence::Run() {
    m_window.SetEnabled(Control::btOK, false);
    m_window.SetCaption(Control::btCancel, "Відмінити");
    m_window.SetVisible(Control::plUp, true);
    // From here on a request to end the program waits for the step in progress.
    platform::InterruptGuard interrupts;

    m_window.AddStatus("Створення тимчасового каталога");
    RunLocks locks;
    if (!PrepareWorkFolder(locks))
        return;
    RemoveRehearsalLeftovers();
    // A rehearsal never writes the database, not even its lock: it checks and locks its copy.
    // Program files alone leave the database as it is.
    if (!m_values.Rehearsal && !m_plan.programFilesOnly && !CheckDatabase(locks))
        return;

    m_window.AddStatus("Наявність архиватора RAR...");
    const std::string archiver = platform::FindArchiver(m_values.ExeDir);
    if (archiver.empty())
        return StopInstall(RunReport::Install::Failed, "немає архіватора RAR");
    m_window.MarkStatus("[OK]");

    if (m_plan.programFilesOnly)
        return StopOnAbort([&] { InstallProgramFilesOnly(archiver); });
    if (m_values.Rehearsal)
        return Rehearse(locks, archiver);
    StopOnAbort([&] {
        if (BackUpBeforeUpdate())
            ApplyPackages(archiver, locks);
    });
}

void InstallSequence::StopOnAbort(const std::function<void()>& steps) {
    try {
        steps();
    } catch (const EUpdateAborted& error) {
        StopInstall(error.Reason() == EUpdateAborted::Cause::Interrupted
                        ? RunReport::Install::Interrupted
                        : RunReport::Install::Failed,
                    error.Message());
    }
}

void InstallSequence::ApplyPackages(const std::string& archiver, RunLocks& locks) {
    if (!ClaimDatabase(locks))
        return;
    update::UpdateJournal journal(*m_values.GlobDB);
    journal.Open();
    InstallPackages(archiver, journal);
}

bool InstallSequence::PrepareWorkFolder(RunLocks& locks) {
    const std::string& workDir = m_plan.workDir;
    // A work folder that is a link or someone else's could make us delete or run their files.
    const auto refuse = [&](const std::string& reason) {
        m_window.AddStatus(workDir);
        StopInstall(RunReport::Install::Failed, reason);
        return false;
    };
    if (auto reason = platform::UnsafeFolderReason(workDir))
        return refuse(*reason);
    if (!platform::FolderExists(workDir) && !platform::CreateFolder(workDir)) {
        const platform::SystemError error = platform::LastSystemError();
        // Made by another program meanwhile: judged below like one found here.
        if (!platform::FolderExists(workDir))
            return refuse("не вдалося створити каталог " + workDir + ": " + error.message);
    }
    if (auto reason = platform::UnsafeFolderReason(workDir))
        return refuse(*reason);

    try {
        locks.workFolder =
            platform::FileLock::TryAcquire(JoinPath(workDir, package::WorkFolderLockName));
    } catch (const EOSError& error) {
        return refuse(error.Message());
    }
    if (!locks.workFolder) {
        m_window.AddStatus(workDir);
        StopInstall(RunReport::Install::Busy,
                    "каталог " + workDir + " уже використовує інша запущена програма оновлення");
        return false;
    }
    package::CleanWorkFolder(workDir);
    m_window.AddStatus(workDir);
    return true;
}

bool InstallSequence::CheckDatabase(RunLocks& locks) {
    db::Database& database = m_values.GlobDB->GetDatabase();
    try {
        if (database.ReadOnly()) {
            StopInstall(RunReport::Install::Failed,
                        "базу даних " + database.DatabaseName() +
                            " відкрито лише для читання (read-only): її неможливо оновити");
            return false;
        }
        // Where an installer ran before, its lock is taken now; elsewhere once the archiver is
        // found and the backup made, with the installer's tables, before the first package.
        if (db::OwnTablesComplete(database, std::span(&db::DatabaseRunLock::Table(), 1)))
            return TakeDatabaseLock(locks);
    } catch (const db::EFirebirdError& error) {
        StopInstall(RunReport::Install::Failed, OneLine(error.what()));
        return false;
    }
    return true;
}

bool InstallSequence::TakeDatabaseLock(RunLocks& locks) {
    db::Database& database = m_values.GlobDB->GetDatabase();
    locks.database = std::make_unique<db::DatabaseRunLock>(database);
    std::int32_t version = 0;
    try {
        if (locks.database->Acquire() == db::DatabaseRunLock::Result::HeldByAnother) {
            StopInstall(RunReport::Install::Busy, BusyText(locks.database->Holder()));
            return false;
        }
        // The checks read the version before this run held the lock; another installer may
        // have applied packages since.
        version = m_values.GlobDB->CommittedVersion();
    } catch (const db::EFirebirdError& error) {
        StopInstall(RunReport::Install::Failed,
                    "не вдалося заблокувати базу даних для оновлення: " + Explained(error));
        return false;
    }
    if (version != m_plan.currentVersion) {
        StopInstall(RunReport::Install::Busy,
                    "версію бази даних змінила інша програма оновлення (тепер " +
                        std::to_string(version) + "); запустіть оновлення ще раз");
        return false;
    }
    return true;
}

bool InstallSequence::ClaimDatabase(RunLocks& locks) {
    db::Database& database = m_values.GlobDB->GetDatabase();
    try {
        const std::array tables{db::DatabaseRunLock::Table(), update::UpdateJournal::Table()};
        db::EnsureOwnTables(database, tables);
    } catch (const db::EFirebirdError& error) {
        StopInstall(RunReport::Install::Failed,
                    "не вдалося створити таблиці програми оновлення NORVANE$UPDATE_LOCK і "
                    "NORVANE$UPDATE_JOURNAL: " +
                        Explained(error));
        return false;
    }
    if (!(locks.database && locks.database->Held()) && !TakeDatabaseLock(locks))
        return false;
    try {
        // A CREATE TABLE of a package an earlier run was cut off in would spoil the next one.
        db::SkipTableIdsOfInterruptedCreates(database);
    } catch (const db::EFirebirdError& error) {
        StopInstall(RunReport::Install::Failed, Explained(error));
        return false;
    }
    return true;
}

std::string InstallSequence::Explained(const db::EFirebirdError& error) const {
    std::string text = OneLine(error.what());
    if (const auto right = db::MissingRight(error))
        text += "; користувачеві " + m_values.GlobDB->GetDatabase().Params().UserName +
                " бракує права " + *right;
    return text;
}

void InstallSequence::InstallPackages(const std::string& archiver, update::UpdateJournal& journal) {
    const std::int64_t first = m_plan.completing ? std::int64_t{*m_plan.completing}
                                                 : std::int64_t{m_plan.currentVersion} + 1;
    for (std::int64_t number = first; number <= m_plan.newestPackage; ++number) {
        platform::ThrowIfInterrupted();
        if (!InstallPackage(static_cast<std::int32_t>(number), archiver, journal))
            return;
    }
    EndInstall();
}

bool InstallSequence::InstallPackage(std::int32_t number, const std::string& archiver,
                                     update::UpdateJournal& journal) {
    AnnouncePackage(number);
    const std::string archive = JoinPath(m_plan.workDir, package::PackageArchiveName(number));
    const auto files = PreparePackage(number, archive, archiver);
    if (!files)
        return false;
    const DatabaseOutcome database = ApplyToDatabase(number, journal);
    RecordDatabaseOutcome(database.folder);
    if (!database.versionReached)
        return false;
    if (m_values.Rehearsal)
        PassOverProgramFiles(number, *files, &journal);
    else
        CopyProgramFiles(number, *files, &journal);

    SetInstallControlsVisible(false);
    m_window.SetEnabled(Control::btCancel, true);
    platform::DeleteFile(archive);
    return true;
}

std::optional<std::vector<package::ProgramFile>>
InstallSequence::PreparePackage(std::int32_t number, const std::string& archive,
                                const std::string& archiver) {
    if (!EmptyWorkFolder())
        return std::nullopt;
    const std::optional<package::CheckedPackage> checked = SavePackage(number, archive);
    if (!checked || !UnpackPackage(archive, archiver) || !CheckUnpacked(number, checked->members))
        return std::nullopt;
    platform::ThrowIfInterrupted();

    std::vector<package::ProgramFile> files =
        package::ListProgramFiles(m_values.ExeDir, m_plan.workDir);
    if (!m_values.Rehearsal)
        package::CreateDestinationFolders(files);
    if (!CheckProgramFiles(files))
        return std::nullopt;
    return files;
}

void InstallSequence::InstallProgramFilesOnly(const std::string& archiver) {
    const std::int32_t number = m_plan.newestPackage;
    m_history.Add("пакет " + std::to_string(number) +
                  " (лише програмні файли: базу даних уже оновлено)");
    const std::string archive = JoinPath(m_plan.workDir, package::PackageArchiveName(number));
    const auto files = PreparePackage(number, archive, archiver);
    if (!files || !StillAtNewestPackage())
        return;
    // The package's statements ran from another computer, which keeps its journal: nothing
    // is recorded here.
    if (m_values.Rehearsal)
        PassOverProgramFiles(number, *files, nullptr);
    else
        CopyProgramFiles(number, *files, nullptr);
    SetInstallControlsVisible(false);
    platform::DeleteFile(archive);
    EndInstall();
}

bool InstallSequence::StillAtNewestPackage() {
    // Another installer, carrying a newer package, may have gone past it meanwhile.
    std::int32_t version = 0;
    try {
        version = m_values.GlobDB->CommittedVersion();
    } catch (const db::EFirebirdError& error) {
        throw EUpdateAborted(EUpdateAborted::Cause::DatabaseLost, OneLine(error.what()));
    }
    if (version == m_plan.newestPackage)
        return true;
    StopInstall(RunReport::Install::Busy,
                "версію бази даних змінила інша програма оновлення (тепер " +
                    std::to_string(version) + "); запустіть оновлення ще раз");
    return false;
}

void InstallSequence::AnnouncePackage(std::int32_t number) {
    if (number != m_plan.completing) {
        m_history.Add("пакет " + std::to_string(number));
        return;
    }
    m_window.AddStatus("Завершення встановлення пакета " + std::to_string(number));
    m_history.Add("пакет " + std::to_string(number) + " (завершення перерваного оновлення)");
}

bool InstallSequence::EmptyWorkFolder() {
    // Each package starts from an empty work folder, so that nothing of an earlier package
    // or run is taken for part of this one.
    package::CleanWorkFolder(m_plan.workDir);
    const auto leftovers = package::WorkFolderLeftovers(m_plan.workDir);
    if (leftovers.empty())
        return true;
    StopInstall(RunReport::Install::Failed,
                "у робочому каталозі лишився файл, якого немає в пакеті: " + leftovers.front());
    return false;
}

std::optional<package::CheckedPackage> InstallSequence::SavePackage(std::int32_t number,
                                                                    const std::string& archive) {
    m_window.AddStatus("Копіювання пакету");
    package::CheckedPackage checked;
    try {
        checked = package::CheckPackage(number);
    } catch (const package::EDamagedArchive& error) {
        StopInstall(RunReport::Install::Failed, DamagedPackageText(number, error.Message()));
        return std::nullopt;
    }
    const std::uint64_t needed = checked.RoomNeeded() + LogRoom;
    if (const auto available = platform::FreeDiskSpace(m_plan.workDir);
        available && *available < needed) {
        StopInstall(RunReport::Install::Failed,
                    "недостатньо місця на диску для каталогу " + m_plan.workDir + ": потрібно " +
                        Megabytes(needed) + " МБ, вільно " + Megabytes(*available) + " МБ");
        return std::nullopt;
    }
    package::SavePackage(package::PackageResourceName(number), archive);
    m_window.AddStatus(archive);
    return checked;
}

bool InstallSequence::UnpackPackage(const std::string& archive, const std::string& archiver) {
    m_window.SetCaption(Control::lUpdate, "Підготовка оновлення");
    m_window.SetVisible(Control::lUpdate, true);
    m_window.SetEnabled(Control::btCancel, false);
    m_window.PumpMessages();
    m_window.AddStatus("Розпаковка пакету...");
    std::unique_ptr<platform::ArchiverProcess> process;
    try {
        process = platform::ArchiverProcess::Start(archiver, archive, m_plan.workDir);
    } catch (const EOSError& error) {
        StopInstall(RunReport::Install::Failed, error.Message());
        return false;
    }
    m_window.MarkStatus("[OK]");
    const int exitCode = process->Wait([this] { m_window.PumpMessages(); });
    process.reset();
    m_window.PumpMessages();
    // An interruption ended the archiver; what it left is of no use.
    platform::ThrowIfInterrupted();
    // Scripts must never run from a half-unpacked package.
    if (exitCode != 0) {
        StopInstall(RunReport::Install::Failed,
                    "архіватор завершився з кодом " + std::to_string(exitCode));
        return false;
    }
    return true;
}

bool InstallSequence::CheckUnpacked(std::int32_t number,
                                    const std::vector<package::RarMember>& members) {
    const auto problem = package::UnpackedPackageProblem(members, m_plan.workDir);
    if (!problem)
        return true;
    StopInstall(RunReport::Install::Failed, DamagedPackageText(number, *problem));
    return false;
}

bool InstallSequence::CheckProgramFiles(const std::vector<package::ProgramFile>& files) {
    // Whatever would make a copy fail is found before the database is touched.
    const auto problem = package::ProgramFilesProblem(files);
    if (!problem)
        return true;
    StopInstall(RunReport::Install::Failed, *problem);
    return false;
}

InstallSequence::DatabaseOutcome InstallSequence::ApplyToDatabase(std::int32_t number,
                                                                  update::UpdateJournal& journal) {
    m_window.AddStatus("Встановлення оновлення");
    m_window.SetCaption(Control::lUpdate, "Встановлення оновлення");
    std::vector<std::string> scripts;
    platform::CollectFiles(scripts, JoinPath(m_plan.workDir, "up"), "*.sql");
    ui::ProgressBar bar(m_window);
    bar.SetMin(0);
    bar.SetMax(static_cast<int>(scripts.size()));
    bar.SetPosition(0);
    SetInstallControlsVisible(true);

    update::UpdateContext context{*m_values.GlobDB, m_window};
    context.Journal = &journal;
    context.Package = number;
    context.Completing = number == m_plan.completing;
    context.Groups = m_values.OneTransactionPerStatement ? update::GroupPolicy::OnePerStep()
                                                         : update::GroupPolicy::Grouped();
    context.LockWaits.limit = std::chrono::seconds(m_values.LockWaitSeconds);
    context.KeptLogsFolder = m_plan.keptLogsFolder;
    DatabaseOutcome outcome;
    outcome.folder = update::RunUpdateFolder(context, m_plan.workDir, m_plan.lastScriptLog);
    m_plan.lastScriptLog = outcome.folder.lastScriptLog;
    outcome.versionReached = VersionReached(number);
    return outcome;
}

void InstallSequence::RecordDatabaseOutcome(const update::UpdateFolderOutcome& outcome) {
    m_report.failedStatements += outcome.failedStatements;
    m_report.failedBlobs += outcome.failedBlobs;
    m_report.failedLogs += outcome.failedLogs;
    for (const update::ScriptOutcome& script : outcome.scripts)
        m_history.Add(ScriptHistoryLine(script));
    m_history.Add("  blob-файли: помилок " + std::to_string(outcome.failedBlobs));
    for (const std::string& log : outcome.blobLogs)
        m_history.Add("    журнал " + log);
}

void InstallSequence::CopyProgramFiles(std::int32_t number,
                                       const std::vector<package::ProgramFile>& files,
                                       update::UpdateJournal* journal) {
    // A copy cut off by an earlier run left its temporary file beside its destination.
    platform::RemoveUnfinishedCopies(m_values.ExeDir);
    platform::RemoveUnfinishedCopies(JoinPath(m_values.ExeDir, "Report"));
    const auto copies = package::InstallProgramFiles(m_window, files);
    m_report.failedCopies += copies.failed;
    for (const std::string& copied : copies.copied)
        m_history.Add("  скопійовано " + copied);
    if (copies.failed > 0)
        m_history.Add("  не скопійовано файлів: " + std::to_string(copies.failed));
    // Copies that failed are made again by the next run, which finds the package unfinished.
    if (copies.failed == 0 && journal != nullptr)
        journal->FinishPackage(number);
    m_window.PumpMessages();
}

bool InstallSequence::VersionReached(std::int32_t number) {
    std::int32_t version = 0;
    try {
        version = m_values.GlobDB->CommittedVersion();
    } catch (const db::EFirebirdError& error) {
        throw EUpdateAborted(EUpdateAborted::Cause::DatabaseLost, OneLine(error.what()));
    }
    if (version == number)
        return true;
    // Its program files belong to a database that did not come: they are not copied.
    StopInstall(RunReport::Install::Failed, "після пакета " + std::to_string(number) +
                                                " версія бази даних " + std::to_string(version) +
                                                ", а не " + std::to_string(number));
    return false;
}

void InstallSequence::StopInstall(RunReport::Install outcome, std::string_view reason) {
    m_window.AddError(ui::ErrorText(reason));
    m_report.install = outcome;
    m_report.error = reason.empty() ? ui::ErrorText(reason) : std::string(reason);
    m_history.Add("помилка: " + m_report.error);
    SetInstallControlsVisible(false);
    m_window.SetVisible(Control::lUpdateTime, false);
    m_window.SetVisible(Control::btOK, false);
    m_window.SetCaption(Control::btCancel, "Зачинити");
    m_window.SetEnabled(Control::btCancel, true);
}

void InstallSequence::SetInstallControlsVisible(bool visible) {
    for (Control control :
         {Control::lUpdate, Control::ProgressBar2, Control::lTextFile, Control::lFile})
        m_window.SetVisible(control, visible);
}

void InstallSequence::EndInstall() {
    m_window.SetVisible(Control::btOK, false);
    m_window.SetCaption(Control::btCancel, "Зачинити");
    m_window.SetEnabled(Control::btCancel, true);
    m_report.install = RunReport::Install::Finished;
}

} // namespace norvane::app
