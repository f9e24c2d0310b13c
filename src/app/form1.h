#pragma once

#include "app/process_values.h"
#include "ui/window.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace norvane::app {

/// How far the checks and the install came; unattended mode turns it into its exit status.
struct RunReport {
    enum class Verdict { NotChecked, ProgramRunning, DatabaseOlder, Allowed, UpToDate };
    enum class Install {
        NotStarted,
        /// Every package applied, the database reads the newest one's version.
        Finished,
        /// Stopped on an error (no archiver, a failed check, the database lost, a package
        /// that did not bring its version).
        Failed,
        /// Another installer runs on the same work folder or database.
        Busy,
        /// Stopped at a signal or a console's close, after the step in progress.
        Interrupted,
    };
    Verdict verdict = Verdict::NotChecked;
    Install install = Install::NotStarted;
    int failedStatements = 0;
    int failedBlobs = 0;
    int failedCopies = 0;
    int failedLogs = 0;
};

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

    /// The pre-update checks, run once before the window is first shown.
    void FormShow();
    /// The install sequence.
    void btOKClick();
    void btCancelClick();

    const RunReport& Report() const { return m_report; }

    std::string TempDir;
    std::string WorkDir;
    std::int32_t MinVer = 0;
    std::int32_t MaxVer = 0;
    std::int32_t CurVer = 0;
    std::string LogFile;

private:
    bool IsProgramRunning() const;
    void RefuseUpdate(std::string_view reason);
    void ListPackages();

    // The install sequence; each step that refuses says why in the memo and returns false.
    class RunLocks;
    bool PrepareWorkFolder(RunLocks& locks);
    bool LockDatabase(RunLocks& locks);
    bool HasRoomForPackages();
    void InstallPackages(const std::string& archiver);
    bool InstallPackage(std::int32_t number, const std::string& archiver);
    bool UnpackPackage(const std::string& archive, const std::string& archiver);
    bool VerifyVersion(std::int32_t number);
    std::int32_t CommittedVersion();
    void StopInstall(RunReport::Install outcome, std::string_view reason);
    void ShowInstallControls(bool visible);
    void EndInstall();

    ui::Window& m_window;
    ProcessValues& m_values;
    RunReport m_report;
};

} // namespace norvane::app
