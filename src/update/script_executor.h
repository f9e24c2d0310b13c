#pragma once

#include "ui/window.h"
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

/// Runs the script file path statement by statement, each in a transaction of its own, and
/// logs every failure to path + ".log" (which becomes LogFile). Advances bar once per line
/// and, when bar is given, writes the remaining time (measured from startTime) to timeLabel.
/// Returns the number of failures logged. Raises when the file cannot be read.
int ExecuteScript(UpdateContext& context, const std::string& path, ui::ProgressBar* bar,
                  std::chrono::steady_clock::time_point startTime, ui::Label* timeLabel);

} // namespace norvane::update
