#pragma once

#include <string>
#include <string_view>

namespace norvane::update {

/// The line that frames an error message in an update log (62 characters).
inline constexpr std::string_view LogSeparator =
    "------------------------- error ------------------------------";

enum class LogEntry {
    /// The text exactly, no line break added.
    PlainRecord,
    /// Separator, CR LF, the text, CR LF, separator, CR LF, CR LF.
    ErrorBlock,
};

/// Appends one entry to the log file logFile, creating it when missing. Returns false when the
/// log cannot be opened or written (an empty name, a missing folder, no access, a full disk);
/// the caller decides what to say about it.
bool WriteLog(const std::string& logFile, LogEntry kind, std::string_view text);

} // namespace norvane::update
