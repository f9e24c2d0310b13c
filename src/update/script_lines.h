#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::update {

/// The lines of a script text: split at CR LF, a lone LF and a lone CR; a last line without
/// a line end counts; a NUL byte ends the text. An empty text has no lines.
std::vector<std::string_view> SplitLines(std::string_view text);

/// The number of lines SplitLines gives, without keeping them.
std::size_t CountLines(std::string_view text);

/// The number of lines of a script file. Raises the platform's open and read errors.
std::size_t CountScriptLines(const std::string& path);

/// A script file held in memory once, its lines viewing into that copy. Neither copied nor
/// moved, because the views point into the held text.
class ScriptLines {
public:
    /// Reads the whole file. Raises the platform's open and read errors.
    explicit ScriptLines(const std::string& path);
    ScriptLines(const ScriptLines&) = delete;
    ScriptLines& operator=(const ScriptLines&) = delete;

    const std::vector<std::string_view>& Lines() const { return m_lines; }

private:
    std::string m_text;
    std::vector<std::string_view> m_lines;
};

} // namespace norvane::update
