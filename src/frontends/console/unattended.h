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
};

/// The unattended options of a command line (without the program name): "--unattended" or
/// "/unattended", with at most one "--log FILE" ("/log FILE", "--log=FILE", "/log=FILE") in
/// any order. Nothing for any other command line, which opens the window.
std::optional<UnattendedOptions>
UnattendedOptionsOf(const std::vector<std::string_view>& arguments);

/// Runs the checks and, when they allow it, the install, without a window. Memo lines go to
/// out, warnings and errors to err, and all of them with their times to the log file when
/// one is named (created anew). Ends the run's account in the product folder's history.
ExitStatus RunUnattended(app::ProcessValues& values, const app::StartupPaths& paths,
                         std::ostream& out, std::ostream& err,
                         const UnattendedOptions& options = {});

} // namespace norvane::console
