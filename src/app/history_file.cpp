#include "app/history_file.h"

#include "platform/clock.h"
#include "platform/files.h"

namespace norvane::app {

namespace {

constexpr std::string_view RehearsalMark = ", РЕПЕТИЦІЯ на копії бази даних";
constexpr std::string_view Heading = "=== norvane-update " NORVANE_VERSION;

} // namespace

std::string_view InstallerVersion() {
    return NORVANE_VERSION;
}

HistoryFile::HistoryFile() {
    m_lines.push_back(std::string(Heading) + ", початок " + platform::LocalTimeText());
}

void HistoryFile::MarkRehearsal() {
    std::string& heading = m_lines.front();
    if (heading.find(RehearsalMark) == std::string::npos)
        heading.insert(Heading.size(), RehearsalMark);
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
