#pragma once

#include "app/form1.h"
#include "app/process_values.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::console {

using app::ExitStatus;
using app::ExitStatusFor;

/// What a command line that asks for unattended mode says.
struct UnattendedOptions {
    /// A file that receives the memo too, each line with its time; empty for none.
    std::string logFile;
    /// The folder of the backup before the update (on the database's server when it has one),
    /// over nrv.ini's; empty for nrv.ini's.
    std::string backupFolder;
    /// Apply the packages to a copy of the database instead of the database.
    bool rehearse = false;
};

/// What a command line (without the program name) asks for.
struct CommandLine {
    enum class Mode {
        /// No argument: the window.
        Window,
        Unattended,
        /// Print the usage, or the version, and end.
        Help,
        Version,
        /// Not understood: say why, print the usage, and end with exit status 2.
        Invalid,
    };
    Mode mode = Mode::Window;
    UnattendedOptions options;
    /// Why an Invalid command line is not understood.
    std::string error;
};

/// Reads a command line: "--unattended" ("/unattended") with at most one each of "--log FILE",
/// "--backup DIR" (also "/log FILE", "--log=FILE", "/log=FILE", and the same for backup) and
/// "--rehearse" ("/rehearse"), in any order; "--help" ("/help", "-h", "/?") or "--version"
/// ("/version"). Anything else, a value missing, an option given twice, or an option without
/// "--unattended" is Invalid: a command line that is not understood never does something else.
CommandLine ParseCommandLine(const std::vector<std::string_view>& arguments);

/// The usage text, in the user's language, ending with a line break.
std::string UsageText();

/// "norvane-update <version>" and a line break.
std::string VersionText();

/// Does what a command line asks for that opens no window (help, version, an error and the
/// usage, or an unattended run) and returns its exit status; nothing for the window.
std::optional<int> RunWithoutWindow(const CommandLine& commandLine, app::ProcessValues& values,
                                    const app::StartupPaths& paths, std::ostream& out,
                                    std::ostream& err);

/// Runs the checks and, when they allow it, the install, without a window. Memo lines go to
/// out, warnings and errors to err, and all of them with their times to the log file when
/// one is named (created anew). Ends the run's account in the product folder's history.
ExitStatus RunUnattended(app::ProcessValues& values, const app::StartupPaths& paths,
                         std::ostream& out, std::ostream& err,
                         const UnattendedOptions& options = {});

} // namespace norvane::console
