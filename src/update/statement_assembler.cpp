#include "update/statement_assembler.h"

#include "base/text.h"

#include <optional>

namespace norvane::update {

// Positions are counted in the line as given.
struct LinePiece {
    TextState end;
    // The first and one past the last character of code or of a literal.
    std::size_t codeStart = std::string_view::npos;
    std::size_t codeEnd = 0;
    // Where the terminator that ends the piece starts.
    std::size_t terminator = std::string_view::npos;

    bool HasCode() const { return codeStart != std::string_view::npos; }
    bool Terminated() const { return terminator != std::string_view::npos; }
};

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::size_t SkipBlanks(std::string_view text, std::size_t at) {
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    return at;
}

std::string_view FirstWord(std::string_view text) {
    text = TrimControl(text);
    std::size_t end = 0;
    while (end < text.size() && !IsBlank(text[end]))
        ++end;
    return text.substr(0, end);
}

// What follows SET in a SET command; nothing for other code.
std::optional<std::string_view> AfterSet(std::string_view code) {
    if (code.size() < 4 || !StartsWithAscii(code, "SET") || !IsBlank(code[3]))
        return std::nullopt;
    return TrimControl(code.substr(3));
}

// What follows the keyword of a SET TERM command; nothing for other code. isql-fb takes
// TERMINATOR and its abbreviations down to TERM, so "SET TERM_ID = 1" is no such command.
std::optional<std::string_view> AfterSetTerm(std::string_view code) {
    const std::optional<std::string_view> rest = AfterSet(code);
    if (!rest)
        return std::nullopt;
    std::size_t end = 0;
    while (end < rest->size() && IsIdentifierChar((*rest)[end]))
        ++end;
    if (end < 4 || !StartsWithAscii("TERMINATOR", rest->substr(0, end)))
        return std::nullopt;
    return rest->substr(end);
}

// A q'...' literal ends with the delimiter's mate for brackets, else with the delimiter.
char ClosingMate(char open) {
    switch (open) {
    case '(':
        return ')';
    case '[':
        return ']';
    case '{':
        return '}';
    case '<':
        return '>';
    default:
        return open;
    }
}

// The end of a literal that starts or goes on at `from`: the state is left as the line leaves
// it, closed or still open.
std::size_t LiteralEnd(std::string_view line, std::size_t from, TextState& state) {
    using Kind = TextState::Kind;
    const std::size_t n = line.size();
    for (std::size_t j = from; j < n; ++j) {
        if (line[j] != state.close)
            continue;
        if (state.kind == Kind::Quoted && j + 1 < n && line[j + 1] == state.close) {
            ++j; // a doubled quote stands for itself
        } else if (state.kind == Kind::Quoted) {
            state = {};
            return j + 1;
        } else if (j + 1 < n && line[j + 1] == '\'') {
            state = {};
            return j + 2;
        }
    }
    return n;
}

LinePiece ScanPiece(std::string_view line, std::size_t from, TextState state,
                    std::string_view terminator) {
    using Kind = TextState::Kind;
    LinePiece piece;
    auto markCode = [&](std::size_t first, std::size_t last) {
        if (piece.codeStart == npos)
            piece.codeStart = first;
        piece.codeEnd = last;
    };

    const std::size_t n = line.size();
    std::size_t i = from;
    while (i < n) {
        const char c = line[i];
        const char next = i + 1 < n ? line[i + 1] : '\0';
        if (state.kind == Kind::BlockComment) {
            const std::size_t close = line.find("*/", i);
            i = close == npos ? n : close + 2;
            if (close != npos)
                state = {};
        } else if (state.InLiteral()) {
            const std::size_t end = LiteralEnd(line, i, state);
            markCode(i, end);
            i = end;
        } else if (IsBlank(c)) {
            ++i;
        } else if (c == '-' && next == '-') {
            i = n;
        } else if (c == '/' && next == '*') {
            state.kind = Kind::BlockComment;
            i += 2;
        } else if (c == '\'' || c == '"') {
            state = {Kind::Quoted, c};
            markCode(i, i + 1);
            ++i;
        } else if ((c == 'q' || c == 'Q') && next == '\'' && i + 2 < n &&
                   (i == 0 || !IsIdentifierChar(line[i - 1]))) {
            state = {Kind::QLiteral, ClosingMate(line[i + 2])};
            markCode(i, i + 3);
            i += 3;
        } else if (line.substr(i).starts_with(terminator)) {
            piece.terminator = i;
            break;
        } else {
            markCode(i, i + 1);
            ++i;
        }
    }
    piece.end = state;
    return piece;
}

// Where a piece stands: between statements, or inside one whose terminator has not come.
enum class Place { BetweenStatements, InsideStatement };

LineKind Classify(std::string_view code, Place place) {
    const std::optional<std::string_view> rest = AfterSet(code);
    if (!rest)
        return LineKind::Ordinary;
    const std::string_view word = FirstWord(*rest);
    if (StartsWithAscii(word, "G") || SameTextAscii(word, "STATISTICS"))
        return LineKind::Ordinary;
    // Inside a pending statement, "SET A = 1" is the statement's own clause (UPDATE ... SET);
    // only a terminator change is a command wherever it stands.
    if (place == Place::InsideStatement && !AfterSetTerm(code))
        return LineKind::Ordinary;
    return LineKind::Set;
}

} // namespace

std::string TerminatorFromSetTerm(std::string_view command) {
    const std::optional<std::string_view> rest = AfterSetTerm(TrimControl(command));
    const std::string_view word = rest ? FirstWord(*rest) : std::string_view();
    return word.empty() ? std::string(";") : std::string(word);
}

std::string SentText(std::string_view buffer) {
    if (buffer.empty())
        return {};
    std::string text;
    text.reserve(buffer.size() + buffer.size() / 16 + 2);
    for (std::size_t start = 0;;) {
        const std::size_t lf = buffer.find('\n', start);
        text.append(buffer.substr(start, lf - start));
        text.append("\r\n");
        if (lf == std::string_view::npos)
            break;
        start = lf + 1;
    }
    return text;
}

void StatementAssembler::Append(std::string_view piece) {
    if (!m_buffer.empty())
        m_buffer.push_back('\n');
    m_buffer.append(piece);
}

void StatementAssembler::Complete(AssemblyStep& step) {
    step.completed.push_back(std::move(m_buffer));
    m_buffer.clear();
    m_hasCode = false;
}

bool StatementAssembler::TakeCommand(std::string_view raw, const LinePiece& piece) {
    const std::string_view code = raw.substr(piece.codeStart, piece.codeEnd - piece.codeStart);
    const Place place = m_hasCode ? Place::InsideStatement : Place::BetweenStatements;
    if (Classify(code, place) != LineKind::Set)
        return false;
    if (AfterSetTerm(code))
        m_terminator = TerminatorFromSetTerm(code);
    // What follows a command (blanks and comments) belongs to the next statement, as in
    // isql-fb.
    const std::size_t end = piece.Terminated() ? piece.terminator : raw.size();
    const std::string_view rest = TrimControl(raw.substr(piece.codeEnd, end - piece.codeEnd));
    if (!rest.empty())
        Append(rest);
    return true;
}

void StatementAssembler::TakeText(std::string_view raw, std::size_t from, const LinePiece& piece,
                                  Edge edge, AssemblyStep& step) {
    m_hasCode = m_hasCode || piece.HasCode();
    // A terminator ends what is pending, even nothing at the start of a line. One that follows
    // another terminator or a command on its line with nothing but comments between ends
    // nothing: isql-fb skips such an empty statement.
    const bool completes = piece.Terminated() && (edge != Edge::InsideLine || m_hasCode);
    std::size_t end = piece.Terminated() ? piece.terminator : raw.size();
    // Blanks before a terminator stay in its statement; elsewhere the piece is trimmed.
    if (!completes) {
        while (!piece.end.InLiteral() && end > from && IsBlank(raw[end - 1]))
            --end;
    }
    // A blank line never reaches a statement, unless it lies inside a literal.
    if (end > from || edge == Edge::LineStartInLiteral)
        Append(raw.substr(from, end - from));
    if (completes)
        Complete(step);
}

AssemblyStep StatementAssembler::Feed(std::string_view raw) {
    AssemblyStep step;
    // Blanks inside a literal are its content; everywhere else a line is trimmed, and so is
    // the text after each terminator.
    std::size_t at = m_state.InLiteral() ? 0 : SkipBlanks(raw, 0);
    for (bool lineStart = true;; lineStart = false) {
        const TextState start = m_state;
        const LinePiece piece = ScanPiece(raw, at, start, m_terminator);
        m_state = piece.end;
        // Measured before a SET TERM command replaces the terminator that ended it.
        const std::size_t next = piece.Terminated() ? piece.terminator + m_terminator.size() : 0;
        if (start.kind == TextState::Kind::Code && piece.HasCode() && TakeCommand(raw, piece)) {
            if (lineStart)
                step.kind = LineKind::Set;
        } else {
            const Edge edge = !lineStart          ? Edge::InsideLine
                              : start.InLiteral() ? Edge::LineStartInLiteral
                                                  : Edge::LineStart;
            TakeText(raw, at, piece, edge, step);
        }
        if (!piece.Terminated())
            return step;
        at = SkipBlanks(raw, next);
    }
}

} // namespace norvane::update
