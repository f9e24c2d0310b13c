#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace norvane::update {

/// The terminator a SET TERM line names: the first word after TERM. The old terminator that
/// ends the command is set aside first: current when the line ends with it, else the last
/// word, so a single word after TERM names nothing. With no word left the result is a blank,
/// which no trimmed line ends with: nothing completes until the next SET TERM.
std::string TerminatorFromSetTerm(std::string_view line, std::string_view current = ";");

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

/// Where a line starts: in code, or inside a comment or literal an earlier line left open.
struct TextState {
    enum class Kind { Code, BlockComment, Quoted, QLiteral };
    Kind kind = Kind::Code;
    /// The character that closes the literal: a quote, or the mate of a q'...' delimiter.
    char close = 0;

    bool InLiteral() const { return kind == Kind::Quoted || kind == Kind::QLiteral; }
};

/// Collects script lines into statements by the terminator convention, starting with ";"
/// and following SET TERM lines. Comments and literals are followed across lines, so a
/// terminator inside them ends nothing and a SET inside them is no command.
class StatementAssembler {
public:
    /// Takes one script line (trimmed here, except where it lies inside a literal).
    AssemblyStep Feed(std::string_view line);

    /// The text collected for a statement whose terminator has not come yet.
    const std::string& Pending() const { return m_buffer; }
    /// Whether that text holds anything besides comments and blanks.
    bool HasPendingStatement() const { return m_hasCode; }
    const std::string& Terminator() const { return m_terminator; }

private:
    void Append(std::string_view piece);

    std::string m_buffer;
    bool m_hasCode = false;
    std::string m_terminator = ";";
    TextState m_state;
};

} // namespace norvane::update
