#pragma once

#include "app/history_file.h"
#include "app/process_values.h"
#include "app/run_report.h"
#include "platform/file_lock.h"
#include "ui/window.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvane::app {

/// Where the program lies and where its temporary folder is: the platform's answers, or a
/// test's own.
struct StartupPaths {
    std::string ExecutablePath;
    std::string TempFolder;
    static StartupPaths FromPlatform();
};

/// The update window's logic: its state fields and its event handlers.
class TForm1 {
public:
    /// The window's construction: fixes ExeDir, IniPath, the temporary and work folders,
    /// creates GlobDB (loading the client library) and reads the configuration.
    TForm1(ui::Window& window, ProcessValues& values,
           const StartupPaths& paths = StartupPaths::FromPlatform());

    /// The backup before the update goes to folder (a command line's, which wins over
    /// nrv.ini's BackupFolder).
    void UseBackupFolder(std::string folder);
    /// Makes the run a rehearsal: the install applies the packages to a copy of the database
    /// and copies no program file. Says so in the memo and heads the history's block with it.
    void Rehearse();

    /// The pre-update checks, run once before the window is first shown.
    void FormShow();
    /// The install sequence.
    void btOKClick();
    void btCancelClick();

    const RunReport& Report() const { return m_report; }

    /// Notes an error that ended a handler, as the error display shows it.
    void NoteError(std::string_view text);
    /// Ends the run: appends its account to the product folder's history, detaches from the
    /// database and returns the exit status it comes to.
    ExitStatus FinishRun();

    /// The history's file in the product folder, and the folder failing scripts' logs are
    /// kept in, one folder a package (for a rehearsal, in the work folder).
    std::string HistoryPath() const;
    std::string KeptLogsFolder() const;

    std::string TempDir;
    std::string WorkDir;
    std::int32_t MinVer = 0;
    std::int32_t MaxVer = 0;
    std::int32_t CurVer = 0;
    std::string LogFile;

private:
    bool IsProgramRunning() const;
    bool LockLocalDatabase(const std::string& server);
    void CloseDatabase(ExitStatus status);
    void RefuseUpdate(std::string_view reason);
    void ListPackages();
    std::optional<std::int32_t> PackageToComplete();
    bool ProgramFilesDifferFromNewest();

    ui::Window& m_window;
    ProcessValues& m_values;
    RunReport m_report;
    HistoryFile m_history;
    // A package whose update was cut off after its version came: its blob files and program
    // files are finished before the newer packages.
    std::optional<std::int32_t> m_completing;
    // The database came to the newest package through another computer's installer, but this
    // program folder holds other files than that package's: only they are put in place.
    bool m_programFilesOnly = false;
    // A database this program's engine opens, locked before the attach.
    std::optional<platform::FileUseLock> m_databaseUse;
};

} // namespace norvane::app
