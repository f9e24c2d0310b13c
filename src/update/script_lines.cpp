#include "update/script_lines.h"

#include "platform/files.h"

#include <cstring>

namespace norvane::update {

namespace {

constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";

// Calls onLine for every line of text.
template <typename OnLine> void ForEachLine(std::string_view text, OnLine&& onLine) {
    if (text.starts_with(ByteOrderMark))
        text.remove_prefix(ByteOrderMark.size());
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

std::size_t CountAllLines(std::string_view text) {
    std::size_t count = 0;
    ForEachLine(text, [&](std::string_view) { ++count; });
    return count;
}

} // namespace

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    // Counting first keeps a large script's line table at its exact size.
    lines.reserve(CountAllLines(text));
    ForEachLine(text, [&](std::string_view line) { lines.push_back(line); });
    return lines;
}

std::optional<std::size_t> NulByteLine(std::string_view text) {
    const void* nul = std::memchr(text.data(), '\0', text.size());
    if (nul == nullptr)
        return std::nullopt;
    // The text up to and with the NUL ends in the line that holds it.
    return CountAllLines(text.substr(0, static_cast<const char*>(nul) - text.data() + 1));
}

std::size_t CountLines(std::string_view text) {
    return NulByteLine(text) ? 0 : CountAllLines(text);
}

std::size_t CountScriptLines(const std::string& path) {
    return CountLines(platform::ReadWholeFile(path));
}

ScriptLines::ScriptLines(const std::string& path)
    : m_text(platform::ReadWholeFile(path)), m_nulLine(NulByteLine(m_text)) {
    if (!m_nulLine)
        m_lines = SplitLines(m_text);
}

} // namespace norvane::update
