#include "app/form1.h"

#include "package/packages.h"
#include "package/program_files.h"
#include "package/work_folder.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "update/update_folder_runner.h"

#include <vector>

namespace norvane::app {

using ui::Control;

void TForm1::btOKClick() {
    m_window.SetEnabled(Control::btOK, false);
    m_window.SetCaption(Control::btCancel, "Відмінити");
    m_window.SetVisible(Control::plUp, true);

    m_window.AddStatus("Створення тимчасового каталога");
    if (!PrepareWorkFolder()) {
        m_report.installFailed = true;
        return;
    }

    m_window.AddStatus("Наявність архиватора RAR...");
    const std::string archiver = platform::FindArchiver(m_values.ExeDir);
    if (archiver.empty()) {
        m_window.AddStatus("error");
        m_report.installFailed = true;
        return;
    }
    m_window.MarkStatus("[OK]");

    for (std::int64_t number = std::int64_t{CurVer} + 1; number <= MaxVer; ++number) {
        if (InstallPackage(static_cast<std::int32_t>(number), archiver) == PackageResult::Stopped) {
            m_report.installFailed = true;
            break;
        }
    }
    EndInstall();
}

bool TForm1::PrepareWorkFolder() {
    // A work folder that is a link or someone else's could make us delete or run their files.
    if (platform::FolderExists(WorkDir) || platform::FileExists(WorkDir)) {
        if (auto reason = platform::UnsafeFolderReason(WorkDir)) {
            m_window.AddStatus(WorkDir);
            m_window.AddStatus("error: " + *reason);
            return false;
        }
    }
    if (platform::FolderExists(WorkDir))
        package::CleanWorkFolder(WorkDir);
    else
        platform::CreateFolder(WorkDir);
    m_window.AddStatus(WorkDir);
    return true;
}

TForm1::PackageResult TForm1::InstallPackage(std::int32_t number, const std::string& archiver) {
    const std::string archive = JoinPath(WorkDir, package::PackageArchiveName(number));
    m_window.AddStatus("Копіювання пакету");
    package::SavePackage(package::PackageResourceName(number), archive);
    m_window.AddStatus(archive);

    m_window.SetCaption(Control::lUpdate, "Підготовка оновлення");
    m_window.SetVisible(Control::lUpdate, true);
    m_window.SetEnabled(Control::btCancel, false);
    m_window.PumpMessages();

    m_window.AddStatus("Розпаковка пакету...");
    auto process = platform::ArchiverProcess::Start(archiver, archive, WorkDir);
    if (!process) {
        m_window.AddStatus("error");
        return PackageResult::Stopped;
    }
    m_window.MarkStatus("[OK]");
    const int exitCode = process->Wait([this] { m_window.PumpMessages(); });
    process.reset();
    m_window.PumpMessages();
    // Scripts must never run from a half-unpacked package.
    if (exitCode != 0) {
        m_window.AddStatus("error: архіватор завершився з кодом " + std::to_string(exitCode));
        return PackageResult::Stopped;
    }

    m_window.AddStatus("Встановлення оновлення");
    m_window.SetCaption(Control::lUpdate, "Встановлення оновлення");
    std::vector<std::string> scripts;
    package::CollectFiles(scripts, JoinPath(WorkDir, "up"), "*.sql");
    ui::ProgressBar bar(m_window);
    bar.SetMin(0);
    bar.SetMax(static_cast<int>(scripts.size()));
    bar.SetPosition(0);
    ShowInstallControls(true);

    ui::Label fileLabel(m_window, Control::lFile);
    ui::Label timeLabel(m_window, Control::lUpdateTime);
    update::UpdateContext context{*m_values.GlobDB, m_window, LogFile};
    const auto database = update::RunUpdateFolder(context, WorkDir, &bar, &fileLabel, &timeLabel);
    m_report.failedStatements += database.failedStatements;
    m_report.failedBlobs += database.failedBlobs;
    const auto files = package::InstallProgramFiles(m_window, m_values.ExeDir, WorkDir, &bar,
                                                    &fileLabel, &timeLabel);
    m_report.failedCopies += files.failed;
    m_window.PumpMessages();

    ShowInstallControls(false);
    m_window.SetEnabled(Control::btCancel, true);
    platform::DeleteFile(archive);
    return PackageResult::Installed;
}

void TForm1::ShowInstallControls(bool visible) {
    for (Control control :
         {Control::lUpdate, Control::ProgressBar2, Control::lTextFile, Control::lFile})
        m_window.SetVisible(control, visible);
}

void TForm1::EndInstall() {
    m_window.SetVisible(Control::btOK, false);
    m_window.SetCaption(Control::btCancel, "Зачинити");
    m_window.SetEnabled(Control::btCancel, true);
    m_report.installFinished = true;
}

} // namespace norvane::app
