#include "app/history_file.h"

#include "platform/clock.h"
#include "platform/files.h"

namespace norvane::app {

HistoryFile::HistoryFile() {
    m_lines.push_back("=== norvane-update " NORVANE_VERSION ", початок " +
                      platform::LocalTimeText());
}

void HistoryFile::Add(std::string line) {
    m_lines.push_back(std::move(line));
}

bool HistoryFile::Append(const std::string& path) {
    std::string block;
    for (const std::string& line : m_lines)
        block += line + "\n";
    block += "кінець " + platform::LocalTimeText() + "\n\n";
    return platform::AppendRecord(path, block);
}

} // namespace norvane::app
