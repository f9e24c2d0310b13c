#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace norvane::update {

/// The terminator a SET TERM line names: the first character after the first "M" that is
/// neither a blank nor an "M"; the line's last character (the old terminator) is never
/// taken. When the scan runs out, the character before the last.
char TerminatorFromSetTerm(std::string_view line);

/// A statement buffer as the database receives it and the log records it: its LF-separated
/// lines, each followed by CR LF. An empty buffer gives an empty text.
std::string SentText(std::string_view buffer);

enum class LineKind { Set, Ordinary };

/// What one script line did to the statement being assembled.
struct AssemblyStep {
    LineKind kind = LineKind::Ordinary;
    /// The buffer the line completed, to be executed as one statement (possibly empty).
    std::optional<std::string> completed;
};

/// Collects trimmed script lines into statements by the terminator convention, starting
/// with ";" and following SET TERM lines.
class StatementAssembler {
public:
    /// Takes one script line (trimmed here) and says what it did.
    AssemblyStep Feed(std::string_view line);

    /// The text collected for a statement whose terminator has not come yet.
    const std::string& Pending() const { return m_buffer; }
    char Terminator() const { return m_terminator; }

private:
    LineKind Classify(std::string_view line) const;

    std::string m_buffer;
    char m_terminator = ';';
};

} // namespace norvane::update
