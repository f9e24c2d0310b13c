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
};

/// Runs the script file path statement by statement, each in a transaction of its own, and
/// logs every failure to path + ".log". Advances the window's progress bar once per line and
/// writes the remaining time (measured from startTime) to lUpdateTime. Raises when the file
/// cannot be read.
ScriptRun ExecuteScript(UpdateContext& context, const std::string& path,
                        std::chrono::steady_clock::time_point startTime);

} // namespace norvane::update
