#include "update/script_lines.h"

#include "platform/files.h"

#include <cstring>

namespace norvane::update {

namespace {

std::string_view UpToNul(std::string_view text) {
    const void* nul = std::memchr(text.data(), '\0', text.size());
    if (nul == nullptr)
        return text;
    return text.substr(0, static_cast<const char*>(nul) - text.data());
}

// Calls onLine for every line of text; the text must hold no NUL.
template <typename OnLine> void ForEachLine(std::string_view text, OnLine&& onLine) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p != end) {
        const char* start = p;
        while (p != end && *p != '\n' && *p != '\r')
            ++p;
        onLine(std::string_view(start, static_cast<std::size_t>(p - start)));
        if (p != end && *p == '\r')
            ++p;
        if (p != end && *p == '\n')
            ++p;
    }
}

} // namespace

std::vector<std::string_view> SplitLines(std::string_view text) {
    text = UpToNul(text);
    std::vector<std::string_view> lines;
    // Counting first keeps a large script's line table at its exact size.
    lines.reserve(CountLines(text));
    ForEachLine(text, [&](std::string_view line) { lines.push_back(line); });
    return lines;
}

std::size_t CountLines(std::string_view text) {
    std::size_t count = 0;
    ForEachLine(UpToNul(text), [&](std::string_view) { ++count; });
    return count;
}

std::size_t CountScriptLines(const std::string& path) {
    return CountLines(platform::ReadWholeFile(path));
}

ScriptLines::ScriptLines(const std::string& path)
    : m_text(platform::ReadWholeFile(path)), m_lines(SplitLines(m_text)) {}

} // namespace norvane::update
