#include "app/form1.h"

#include "base/exceptions.h"
#include "db/firebird_error.h"
#include "db/run_lock.h"
#include "db/table_ids.h"
#include "package/packages.h"
#include "package/program_files.h"
#include "package/work_folder.h"
#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "update/statement_step.h"
#include "update/update_folder_runner.h"
#include "update/update_journal.h"

#include <memory>
#include <optional>
#include <vector>

namespace norvane::app {

using ui::Control;

namespace {

// Room kept free beside a package for the logs its run writes.
constexpr std::uint64_t LogRoom = 1024 * 1024;

std::string Megabytes(std::uint64_t bytes) {
    return std::to_string((bytes + 1024 * 1024 - 1) / (1024 * 1024));
}

} // namespace

// What keeps a second installer out while this one runs: the work folder's lock file and a
// lock in the database. Both go when the install returns.
class TForm1::RunLocks {
public:
    std::optional<platform::FileLock> workFolder;
    std::unique_ptr<db::DatabaseRunLock> database;
};

void TForm1::btOKClick() {
    m_window.SetEnabled(Control::btOK, false);
    m_window.SetCaption(Control::btCancel, "Відмінити");
    m_window.SetVisible(Control::plUp, true);
    // From here on a request to end the program waits for the step in progress.
    platform::InterruptGuard interrupts;

    m_window.AddStatus("Створення тимчасового каталога");
    RunLocks locks;
    if (!PrepareWorkFolder(locks) || !LockDatabase(locks))
        return;

    m_window.AddStatus("Наявність архиватора RAR...");
    const std::string archiver = platform::FindArchiver(m_values.ExeDir);
    if (archiver.empty()) {
        m_window.AddStatus("error");
        m_report.install = RunReport::Install::Failed;
        m_report.error = "немає архіватора RAR";
        m_history.Add("помилка: " + m_report.error);
        return;
    }
    m_window.MarkStatus("[OK]");

    try {
        update::UpdateJournal journal(*m_values.GlobDB);
        journal.Open();
        InstallPackages(archiver, journal);
    } catch (const EUpdateAborted& error) {
        StopInstall(error.Reason() == EUpdateAborted::Cause::Interrupted
                        ? RunReport::Install::Interrupted
                        : RunReport::Install::Failed,
                    error.Message());
    }
}

bool TForm1::PrepareWorkFolder(RunLocks& locks) {
    // A work folder that is a link or someone else's could make us delete or run their files.
    const auto refuse = [this](const std::string& reason) {
        m_window.AddStatus(WorkDir);
        StopInstall(RunReport::Install::Failed, reason);
        return false;
    };
    if (auto reason = platform::UnsafeFolderReason(WorkDir))
        return refuse(*reason);
    if (!platform::FolderExists(WorkDir) && !platform::CreateFolder(WorkDir)) {
        const platform::SystemError error = platform::LastSystemError();
        // Made by another program meanwhile: judged below like one found here.
        if (!platform::FolderExists(WorkDir))
            return refuse("не вдалося створити каталог " + WorkDir + ": " + error.message);
    }
    if (auto reason = platform::UnsafeFolderReason(WorkDir))
        return refuse(*reason);

    try {
        locks.workFolder =
            platform::FileLock::TryAcquire(JoinPath(WorkDir, package::WorkFolderLockName));
    } catch (const EOSError& error) {
        return refuse(error.Message());
    }
    if (!locks.workFolder) {
        m_window.AddStatus(WorkDir);
        StopInstall(RunReport::Install::Busy,
                    "каталог " + WorkDir + " уже використовує інша запущена програма оновлення");
        return false;
    }
    package::CleanWorkFolder(WorkDir);
    m_window.AddStatus(WorkDir);
    return true;
}

bool TForm1::LockDatabase(RunLocks& locks) {
    locks.database = std::make_unique<db::DatabaseRunLock>(m_values.GlobDB->GetDatabase());
    try {
        if (locks.database->Acquire() == db::DatabaseRunLock::Result::HeldByAnother) {
            StopInstall(RunReport::Install::Busy,
                        "базу даних уже оновлює інша запущена програма оновлення");
            return false;
        }
        // A CREATE TABLE an earlier run was cut off in would spoil the next one made.
        db::SkipTableIdsOfInterruptedCreates(m_values.GlobDB->GetDatabase());
        // The checks read the version before this run held the lock; another installer may
        // have applied packages since.
        const std::int32_t version = CommittedVersion();
        if (version != CurVer) {
            StopInstall(RunReport::Install::Busy,
                        "версію бази даних змінила інша програма оновлення (тепер " +
                            std::to_string(version) + "); запустіть оновлення ще раз");
            return false;
        }
    } catch (const db::EFirebirdError& error) {
        StopInstall(RunReport::Install::Failed, update::OneLine(error.what()));
        return false;
    }
    return true;
}

std::int32_t TForm1::CommittedVersion() {
    db::Transaction& transaction = m_values.GlobDB->Transaction();
    // A fresh transaction, so that what other connections committed is seen.
    if (transaction.Active())
        transaction.Commit();
    transaction.StartTransaction();
    const std::int32_t version = m_values.GlobDB->GetVersion();
    transaction.Commit();
    return version;
}

void TForm1::InstallPackages(const std::string& archiver, update::UpdateJournal& journal) {
    const std::int64_t first =
        m_completing ? std::int64_t{*m_completing} : std::int64_t{CurVer} + 1;
    for (std::int64_t number = first; number <= MaxVer; ++number) {
        platform::ThrowIfInterrupted();
        if (!InstallPackage(static_cast<std::int32_t>(number), archiver, journal))
            return;
    }
    EndInstall();
}

bool TForm1::InstallPackage(std::int32_t number, const std::string& archiver,
                            update::UpdateJournal& journal) {
    if (number == m_completing) {
        m_window.AddStatus("Завершення встановлення пакета " + std::to_string(number));
        m_history.Add("пакет " + std::to_string(number) + " (завершення перерваного оновлення)");
    } else {
        m_history.Add("пакет " + std::to_string(number));
    }
    // Each package starts from an empty work folder, so that nothing of an earlier package
    // or run is taken for part of this one.
    package::CleanWorkFolder(WorkDir);
    if (const auto leftovers = package::WorkFolderLeftovers(WorkDir); !leftovers.empty()) {
        StopInstall(RunReport::Install::Failed,
                    "у робочому каталозі лишився файл, якого немає в пакеті: " + leftovers.front());
        return false;
    }

    const std::string resource = package::PackageResourceName(number);
    const std::string archive = JoinPath(WorkDir, package::PackageArchiveName(number));
    m_window.AddStatus("Копіювання пакету");
    const std::uint64_t needed = package::PackageRoomNeeded(resource) + LogRoom;
    if (const auto available = platform::FreeDiskSpace(WorkDir); available && *available < needed) {
        StopInstall(RunReport::Install::Failed, "недостатньо місця на диску для каталогу " +
                                                    WorkDir + ": потрібно " + Megabytes(needed) +
                                                    " МБ, вільно " + Megabytes(*available) + " МБ");
        return false;
    }
    package::SavePackage(resource, archive);
    m_window.AddStatus(archive);

    m_window.SetCaption(Control::lUpdate, "Підготовка оновлення");
    m_window.SetVisible(Control::lUpdate, true);
    m_window.SetEnabled(Control::btCancel, false);
    m_window.PumpMessages();
    if (!UnpackPackage(archive, archiver))
        return false;
    platform::ThrowIfInterrupted();

    // Whatever would make a copy fail is found before the database is touched.
    if (const auto problem =
            package::ProgramFilesProblem(package::ListProgramFiles(m_values.ExeDir, WorkDir))) {
        StopInstall(RunReport::Install::Failed, *problem);
        return false;
    }

    m_window.AddStatus("Встановлення оновлення");
    m_window.SetCaption(Control::lUpdate, "Встановлення оновлення");
    std::vector<std::string> scripts;
    platform::CollectFiles(scripts, JoinPath(WorkDir, "up"), "*.sql");
    ui::ProgressBar bar(m_window);
    bar.SetMin(0);
    bar.SetMax(static_cast<int>(scripts.size()));
    bar.SetPosition(0);
    SetInstallControlsVisible(true);

    ui::Label fileLabel(m_window, Control::lFile);
    ui::Label timeLabel(m_window, Control::lUpdateTime);
    update::UpdateContext context{*m_values.GlobDB, m_window, LogFile};
    context.Journal = &journal;
    context.Package = number;
    context.KeptLogsFolder = KeptLogsFolder();
    const auto database = update::RunUpdateFolder(context, WorkDir, &bar, &fileLabel, &timeLabel);
    m_report.failedStatements += database.failedStatements;
    m_report.failedBlobs += database.failedBlobs;
    m_report.failedLogs += database.failedLogs;
    for (const update::ScriptOutcome& script : database.scripts)
        m_history.Add("  " + script.name + ": помилок " + std::to_string(script.failures) +
                      (script.log.empty() ? "" : ", журнал " + script.log));
    m_history.Add("  blob-файли: помилок " + std::to_string(database.failedBlobs));
    for (const std::string& log : database.blobLogs)
        m_history.Add("    журнал " + log);
    if (!VerifyVersion(number))
        return false;

    // A copy cut off by an earlier run left its temporary file beside its destination.
    platform::RemoveUnfinishedCopies(m_values.ExeDir);
    platform::RemoveUnfinishedCopies(JoinPath(m_values.ExeDir, "Report"));
    const auto files = package::InstallProgramFiles(m_window, m_values.ExeDir, WorkDir, &bar,
                                                    &fileLabel, &timeLabel);
    m_report.failedCopies += files.failed;
    for (const std::string& copied : files.copied)
        m_history.Add("  скопійовано " + copied);
    if (files.failed > 0)
        m_history.Add("  не скопійовано файлів: " + std::to_string(files.failed));
    // Copies that failed are made again by the next run, which finds the package unfinished.
    if (files.failed == 0)
        journal.FinishPackage(number);
    m_window.PumpMessages();

    SetInstallControlsVisible(false);
    m_window.SetEnabled(Control::btCancel, true);
    platform::DeleteFile(archive);
    return true;
}

bool TForm1::UnpackPackage(const std::string& archive, const std::string& archiver) {
    m_window.AddStatus("Розпаковка пакету...");
    auto process = platform::ArchiverProcess::Start(archiver, archive, WorkDir);
    if (!process) {
        StopInstall(RunReport::Install::Failed, {});
        return false;
    }
    m_window.MarkStatus("[OK]");
    const int exitCode = process->Wait([this] { m_window.PumpMessages(); });
    process.reset();
    m_window.PumpMessages();
    // Scripts must never run from a half-unpacked package.
    if (exitCode != 0) {
        StopInstall(RunReport::Install::Failed,
                    "архіватор завершився з кодом " + std::to_string(exitCode));
        return false;
    }
    return true;
}

bool TForm1::VerifyVersion(std::int32_t number) {
    std::int32_t version = 0;
    try {
        version = CommittedVersion();
    } catch (const db::EFirebirdError& error) {
        throw EUpdateAborted(EUpdateAborted::Cause::DatabaseLost, update::OneLine(error.what()));
    }
    if (version == number)
        return true;
    // Its program files belong to a database that did not come: they are not copied.
    StopInstall(RunReport::Install::Failed, "після пакета " + std::to_string(number) +
                                                " версія бази даних " + std::to_string(version) +
                                                ", а не " + std::to_string(number));
    return false;
}

void TForm1::StopInstall(RunReport::Install outcome, std::string_view reason) {
    m_window.AddStatus(reason.empty() ? std::string("error") : "error: " + std::string(reason));
    m_report.install = outcome;
    m_report.error = reason.empty() ? std::string("error") : std::string(reason);
    m_history.Add("помилка: " + m_report.error);
    SetInstallControlsVisible(false);
    m_window.SetVisible(Control::lUpdateTime, false);
    m_window.SetVisible(Control::btOK, false);
    m_window.SetCaption(Control::btCancel, "Зачинити");
    m_window.SetEnabled(Control::btCancel, true);
}

void TForm1::SetInstallControlsVisible(bool visible) {
    for (Control control :
         {Control::lUpdate, Control::ProgressBar2, Control::lTextFile, Control::lFile})
        m_window.SetVisible(control, visible);
}

void TForm1::EndInstall() {
    m_window.SetVisible(Control::btOK, false);
    m_window.SetCaption(Control::btCancel, "Зачинити");
    m_window.SetEnabled(Control::btCancel, true);
    m_report.install = RunReport::Install::Finished;
}

} // namespace norvane::app
