#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace norvane::app {

/// The installer's version, as the history and "--version" name it.
std::string_view InstallerVersion();

/// The account of one run in norvane-update.log, the product folder's history of updates:
/// one block of lines a person reads (UTF-8), appended in one write when the run ends, so
/// that a run killed on the way leaves the earlier history whole.
class HistoryFile {
public:
    /// Begins the block with the installer's version and the time.
    HistoryFile();

    void Add(std::string line);

    /// Heads the block as a rehearsal's, which changed no database.
    void MarkRehearsal();

    /// Ends the block with the time and appends it to path; false when it could not be
    /// written.
    bool Append(const std::string& path);

    const std::vector<std::string>& Lines() const { return m_lines; }

private:
    std::vector<std::string> m_lines;
};

} // namespace norvane::app
