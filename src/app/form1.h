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
    Verdict verdict = Verdict::NotChecked;
    bool installFinished = false; // the install reached its end state
    bool installFailed = false;   // the archiver was missing, failed, or the folder refused
    int failedStatements = 0;
    int failedBlobs = 0;
    int failedCopies = 0;
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
    bool PrepareWorkFolder();
    enum class PackageResult { Installed, Stopped };
    PackageResult InstallPackage(std::int32_t number, const std::string& archiver);
    void ShowInstallControls(bool visible);
    void EndInstall();

    ui::Window& m_window;
    ProcessValues& m_values;
    RunReport m_report;
};

} // namespace norvane::app
