#pragma once

#include "app/form1.h"
#include "app/process_values.h"

#include <ostream>
#include <string_view>
#include <vector>

namespace norvane::console {

/// The exit statuses of unattended mode.
enum class ExitStatus : int {
    Updated = 0,
    Error = 2,
    UpdatedWithFailures = 3,
    UpToDate = 10,
    ProgramRunning = 11,
    DatabaseOlder = 12,
    AnotherInstallerRunning = 13,
};

/// Whether the command line (without the program name) asks for unattended mode: exactly
/// one argument, "--unattended" or "/unattended".
bool IsUnattended(const std::vector<std::string_view>& arguments);

/// The exit status for how far a run came.
ExitStatus ExitStatusFor(const app::RunReport& report);

/// Runs the checks and, when they allow it, the install, without a window. Memo lines go to
/// out, warnings and errors to err.
ExitStatus RunUnattended(app::ProcessValues& values, const app::StartupPaths& paths,
                         std::ostream& out, std::ostream& err);

} // namespace norvane::console
