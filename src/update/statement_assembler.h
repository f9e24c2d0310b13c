#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::update {

/// The terminator a SET TERM command names, the command taken without the terminator that
/// ended it: the first word after TERM (TERMINATOR and its abbreviations down to TERM).
/// A command that names none restores ";", as in isql-fb.
std::string TerminatorFromSetTerm(std::string_view command);

/// A statement buffer as the database receives it and the log records it: its LF-separated
/// lines, each followed by CR LF. An empty buffer gives an empty text.
std::string SentText(std::string_view buffer);

enum class LineKind { Set, Ordinary };

/// What one script line did to the statements being assembled.
struct AssemblyStep {
    /// Set when the line begins with a client command (SET TERM, SET NAMES, ...).
    LineKind kind = LineKind::Ordinary;
    /// The buffers the line completed, in order, each to be executed as one statement
    /// (possibly empty).
    std::vector<std::string> completed;
};

/// Where a line starts: in code, or inside a comment or literal an earlier line left open.
struct TextState {
    enum class Kind { Code, BlockComment, Quoted, QLiteral };
    Kind kind = Kind::Code;
    /// The character that closes the literal: a quote, or the mate of a q'...' delimiter.
    char close = 0;

    bool InLiteral() const { return kind == Kind::Quoted || kind == Kind::QLiteral; }
};

/// One stretch of a line as the assembler scans it: up to the next terminator in code, or to
/// the line's end.
struct LinePiece;

/// Collects script lines into statements by the terminator convention, starting with ";"
/// and following SET TERM commands. Every terminator outside comments and literals ends a
/// statement wherever it stands in its line, and the text after it starts the next one.
/// Comments and literals are followed across lines, so a terminator inside them ends nothing
/// and a SET inside them is no command.
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
    /// Where a piece of text stands in its line.
    enum class Edge { LineStart, LineStartInLiteral, InsideLine };

    /// Carries out the piece when it is a client command; false when it is statement text.
    bool TakeCommand(std::string_view raw, const LinePiece& piece);
    /// Adds the piece, starting at `from`, to the statement, which its terminator completes.
    void TakeText(std::string_view raw, std::size_t from, const LinePiece& piece, Edge edge,
                  AssemblyStep& step);
    void Append(std::string_view piece);
    void Complete(AssemblyStep& step);

    std::string m_buffer;
    bool m_hasCode = false;
    std::string m_terminator = ";";
    TextState m_state;
};

} // namespace norvane::update
