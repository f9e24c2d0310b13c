#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::update {

/// The lines of a script text: split at CR LF, a lone LF and a lone CR; a last line without
/// a line end counts; a UTF-8 byte order mark at the start is dropped. An empty text has no
/// lines. NUL bytes are kept as they are.
std::vector<std::string_view> SplitLines(std::string_view text);

/// The line, counted from 1, that holds the text's first NUL byte, or nothing.
std::optional<std::size_t> NulByteLine(std::string_view text);

/// The number of lines a script run walks: those SplitLines gives, and none for a text with
/// a NUL byte, which is not run.
std::size_t CountLines(std::string_view text);

/// The number of lines a run of the script file walks. Raises the platform's open and read
/// errors.
std::size_t CountScriptLines(const std::string& path);

/// A script file held in memory once, its lines viewing into that copy. Neither copied nor
/// moved, because the views point into the held text.
class ScriptLines {
public:
    /// Reads the whole file. Raises the platform's open and read errors.
    explicit ScriptLines(const std::string& path);
    ScriptLines(const ScriptLines&) = delete;
    ScriptLines& operator=(const ScriptLines&) = delete;

    /// The script's bytes as read.
    const std::string& Text() const { return m_text; }
    /// The script's lines; none when it holds a NUL byte.
    const std::vector<std::string_view>& Lines() const { return m_lines; }
    /// The line holding the script's first NUL byte, which keeps it from being run.
    std::optional<std::size_t> NulLine() const { return m_nulLine; }

private:
    std::string m_text;
    std::optional<std::size_t> m_nulLine;
    std::vector<std::string_view> m_lines;
};

} // namespace norvane::update
