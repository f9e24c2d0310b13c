#pragma once

#include "update/statement_assembler.h"
#include "update/update_context.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace norvane::update {

/// The error text logged for a last statement that never met its terminator.
inline constexpr std::string_view UnterminatedStatementMessage =
    "Statement without terminator at the end of the script was not executed";

/// The error text logged for a script that holds a NUL byte at line (counted from 1).
std::string NulByteMessage(std::size_t line);

/// How a script ran: its failures, and the log they went to.
struct ScriptRun {
    int failures = 0;
    /// path + ".log"; empty for a script without lines, which runs nothing and logs nothing.
    std::string log;
    /// Whether an interrupted run recorded statements of the script, and what came of them:
    /// how many were done already (and are not run again) and how many ran now.
    bool resumed = false;
    int doneBefore = 0;
    int ranNow = 0;
    /// Whether the script differs from the one the interrupted run recorded (the package was
    /// re-issued): its statements are matched by their own text.
    bool changed = false;
    /// Not run: the version of its package came in an interrupted run that recorded nothing
    /// of it, so running it now would come after the version row.
    bool passedOver = false;
};

/// Runs the script file path statement by statement, each with the outcome of a transaction of
/// its own (StepGroup), and logs every failure to path + ".log". A statement an interrupted run
/// recorded as done is not run again. Advances the window's progress bar once per line and
/// writes the remaining time (measured from startTime) to lUpdateTime. Raises when the file
/// cannot be read.
ScriptRun ExecuteScript(UpdateContext& context, const std::string& path,
                        std::chrono::steady_clock::time_point startTime);

} // namespace norvane::update
