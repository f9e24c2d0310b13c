#include "app/form1.h"

#include "app/configuration.h"
#include "app/database_backup.h"
#include "app/install_sequence.h"
#include "base/exceptions.h"
#include "platform/deadline.h"
#include "platform/paths.h"

namespace norvane::app {

namespace {

constexpr std::string_view IniFileName = "nrv.ini";
constexpr std::string_view WorkFolderName = "nrv7.nvx";
constexpr std::string_view HistoryFileName = "norvane-update.log";
constexpr std::string_view KeptLogsFolderName = "norvane-update.logs";
// How long the detach at the end may take before the program ends without it.
constexpr std::chrono::seconds DetachLimit{10};

} // namespace

StartupPaths StartupPaths::FromPlatform() {
    return {platform::ExecutablePath(), platform::TempFolder()};
}

TForm1::TForm1(ui::Window& window, ProcessValues& values, const StartupPaths& paths)
    : m_window(window), m_values(values) {
    m_values.ExeDir = ExecutableFolder(paths.ExecutablePath, platform::NativePathRules());
    m_values.IniPath = JoinPath(m_values.ExeDir, IniFileName);
    m_values.GlobDB = std::make_unique<db::CGlobDB>(m_values.ExeDir, "", "");
    TempDir = paths.TempFolder;
    WorkDir = JoinPath(TempDir, WorkFolderName);
    ReadConfiguration(m_values);
}

void TForm1::UseBackupFolder(std::string folder) {
    m_values.BackupFolder = std::move(folder);
}

void TForm1::Rehearse() {
    m_values.Rehearsal = true;
    m_history.MarkRehearsal();
    m_window.AddStatus("Репетиція оновлення: пакети буде застосовано до копії бази даних, "
                       "саму базу даних і теку програми не буде змінено");
}

void TForm1::btOKClick() {
    InstallSequence sequence(
        m_window, m_values, m_report, m_history,
        {WorkDir, CurVer, MaxVer, m_completing, KeptLogsFolder(), LogFile, m_programFilesOnly});
    sequence.Run();
    LogFile = sequence.LastScriptLog();
}

void TForm1::btCancelClick() {
    m_window.Close();
}

std::string TForm1::HistoryPath() const {
    return JoinPath(m_values.ExeDir, HistoryFileName);
}

std::string TForm1::KeptLogsFolder() const {
    // A rehearsal leaves the product folder as it was, but for its history.
    if (m_values.Rehearsal)
        return JoinPath(JoinPath(WorkDir, RehearsalFolderName), "logs");
    return JoinPath(m_values.ExeDir, KeptLogsFolderName);
}

void TForm1::NoteError(std::string_view text) {
    m_report.error = text;
    m_history.Add("помилка: " + std::string(text));
}

ExitStatus TForm1::FinishRun() {
    if (m_values.GlobDB && m_values.GlobDB->GetDatabase().Connected()) {
        try {
            m_history.Add("версія після оновлення: " +
                          std::to_string(m_values.GlobDB->CommittedVersion()));
        } catch (const Exception& error) {
            m_history.Add("версія після оновлення невідома: " + std::string(error.what()));
        }
    }
    const ExitStatus status = ExitStatusFor(m_report);
    m_history.Add("результат: " + ExitStatusText(status) + " (код " +
                  std::to_string(static_cast<int>(status)) + ")");
    if (!m_history.Append(HistoryPath()))
        m_window.ShowMessageBox("Не вдалося дописати історію оновлень " + HistoryPath(),
                                ui::MessageKind::Warning);
    CloseDatabase(status);
    return status;
}

void TForm1::CloseDatabase(ExitStatus status) {
    // A detach that does not return (an engine stuck in its clean-up, a server that stopped
    // answering) must not keep the program: it ends with the run's status, its history
    // written.
    platform::RunOrEndProcess(DetachLimit, static_cast<int>(status),
                              [this] { m_values.GlobDB.reset(); });
    m_databaseUse.reset();
}

} // namespace norvane::app
