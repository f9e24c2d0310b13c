#pragma once

#include <string>

namespace norvane::app {

/// How far the checks and the install came.
struct RunReport {
    enum class Verdict {
        NotChecked,
        ProgramRunning,
        /// Another installer holds the database (a local one, locked before it is attached).
        Busy,
        DatabaseOlder,
        Allowed,
        UpToDate,
    };
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
    /// The error that ended the run, as the memo or the error display said it.
    std::string error;
};

/// The exit statuses of unattended mode; the history names them in window mode too.
enum class ExitStatus : int {
    Updated = 0,
    Error = 2,
    UpdatedWithFailures = 3,
    UpToDate = 10,
    ProgramRunning = 11,
    DatabaseOlder = 12,
    AnotherInstallerRunning = 13,
};

/// The exit status for how far a run came.
ExitStatus ExitStatusFor(const RunReport& report);

/// What an exit status means, in the user's language.
std::string ExitStatusText(ExitStatus status);

} // namespace norvane::app
