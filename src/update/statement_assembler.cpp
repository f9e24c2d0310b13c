#include "update/statement_assembler.h"

#include "base/text.h"

namespace norvane::update {

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view FirstWord(std::string_view text) {
    text = TrimControl(text);
    std::size_t end = 0;
    while (end < text.size() && !IsBlank(text[end]))
        ++end;
    return text.substr(0, end);
}

bool IsSetTermLine(std::string_view line) {
    return AsciiUpper(line).find("SET TERM") != std::string::npos;
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

// What one line holds, positions counted in the line as given.
struct LineScan {
    TextState end;
    /// The first and one past the last character of code or of a literal.
    std::size_t codeStart = npos;
    std::size_t codeEnd = 0;
    /// Where the last comment or literal before codeEnd ends: a terminator lies after it.
    std::size_t plainFrom = 0;

    bool HasCode() const { return codeStart != npos; }
};

LineScan ScanLine(std::string_view line, TextState state) {
    using Kind = TextState::Kind;
    LineScan scan;
    std::size_t lastNonPlain = 0;
    // Code is what is neither a blank nor a comment; a literal is code that is not plain text.
    enum class Code { Plain, Literal };
    auto markCode = [&](std::size_t from, std::size_t to, Code code) {
        if (scan.codeStart == npos)
            scan.codeStart = from;
        scan.codeEnd = to;
        if (code == Code::Literal)
            lastNonPlain = to;
        scan.plainFrom = lastNonPlain;
    };

    const std::size_t n = line.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = line[i];
        const char next = i + 1 < n ? line[i + 1] : '\0';
        if (state.kind == Kind::BlockComment) {
            const std::size_t close = line.find("*/", i);
            i = close == npos ? n : close + 2;
            if (close != npos)
                state = {};
            lastNonPlain = i;
        } else if (state.InLiteral()) {
            std::size_t j = i;
            for (; j < n; ++j) {
                if (line[j] != state.close)
                    continue;
                if (state.kind == Kind::Quoted && j + 1 < n && line[j + 1] == state.close) {
                    ++j; // a doubled quote stands for itself
                } else if (state.kind == Kind::Quoted) {
                    state = {};
                    ++j;
                    break;
                } else if (j + 1 < n && line[j + 1] == '\'') {
                    state = {};
                    j += 2;
                    break;
                }
            }
            markCode(i, j, Code::Literal);
            i = j;
        } else if (IsBlank(c)) {
            ++i;
        } else if (c == '-' && next == '-') {
            lastNonPlain = n;
            i = n;
        } else if (c == '/' && next == '*') {
            state.kind = Kind::BlockComment;
            i += 2;
            lastNonPlain = i;
        } else if (c == '\'' || c == '"') {
            state = {Kind::Quoted, c};
            markCode(i, i + 1, Code::Literal);
            ++i;
        } else if ((c == 'q' || c == 'Q') && next == '\'' && i + 2 < n &&
                   (i == 0 || !IsIdentifierChar(line[i - 1]))) {
            state = {Kind::QLiteral, ClosingMate(line[i + 2])};
            markCode(i, i + 3, Code::Literal);
            i += 3;
        } else {
            markCode(i, i + 1, Code::Plain);
            ++i;
        }
    }
    scan.end = state;
    return scan;
}

// Where a line stands: between statements, or inside one whose terminator has not come.
enum class Place { BetweenStatements, InsideStatement };

LineKind Classify(std::string_view text, Place place) {
    if (!StartsWithAscii(text, "SET ") || StartsWithAscii(text, "SET G") ||
        StartsWithAscii(text, "SET STATISTICS "))
        return LineKind::Ordinary;
    // Inside a pending statement, "SET A = 1" is the statement's own clause (UPDATE ... SET);
    // only a terminator change is a command wherever it stands.
    if (place == Place::InsideStatement && !IsSetTermLine(text))
        return LineKind::Ordinary;
    return LineKind::Set;
}

} // namespace

std::string TerminatorFromSetTerm(std::string_view line, std::string_view current) {
    const std::size_t keyword = AsciiUpper(line).find("SET TERM");
    std::string_view rest =
        keyword == std::string::npos ? std::string_view() : TrimControl(line.substr(keyword + 8));
    // The old terminator ends the command, written after the new one with or without a blank.
    if (!current.empty() && rest.ends_with(current)) {
        rest.remove_suffix(current.size());
    } else {
        const std::size_t lastBlank = rest.find_last_of(" \t");
        rest = lastBlank == npos ? std::string_view() : rest.substr(0, lastBlank);
    }
    const std::string_view word = FirstWord(rest);
    return word.empty() ? std::string(" ") : std::string(word);
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

AssemblyStep StatementAssembler::Feed(std::string_view raw) {
    const TextState start = m_state;
    const LineScan scan = ScanLine(raw, start);
    m_state = scan.end;

    // Blanks inside a literal are its content; everywhere else a line is trimmed.
    std::size_t left = 0;
    std::size_t right = raw.size();
    if (!start.InLiteral()) {
        while (left < right && IsBlank(raw[left]))
            ++left;
    }
    if (!scan.end.InLiteral()) {
        while (right > left && IsBlank(raw[right - 1]))
            --right;
    }
    // What follows a command or a terminator on its line (blanks and comments) belongs to the
    // next statement, as in isql-fb.
    auto keepRest = [&] {
        const std::string_view rest = TrimControl(raw.substr(scan.codeEnd, right - scan.codeEnd));
        if (!rest.empty())
            Append(rest);
    };

    AssemblyStep step;
    if (start.kind == TextState::Kind::Code && scan.HasCode()) {
        const std::string_view code = raw.substr(scan.codeStart, scan.codeEnd - scan.codeStart);
        step.kind = Classify(code, m_hasCode ? Place::InsideStatement : Place::BetweenStatements);
        if (step.kind == LineKind::Set) {
            if (IsSetTermLine(code))
                m_terminator = TerminatorFromSetTerm(code, m_terminator);
            keepRest();
            return step;
        }
    }

    const std::size_t length = m_terminator.size();
    const bool completes = !scan.end.InLiteral() && scan.HasCode() &&
                           scan.codeEnd >= scan.plainFrom + length &&
                           raw.substr(scan.codeEnd - length, length) == m_terminator;
    if (!completes) {
        // A blank line never reaches a statement, unless it lies inside a literal.
        if (right > left || start.InLiteral())
            Append(raw.substr(left, right - left));
        m_hasCode = m_hasCode || scan.HasCode();
        return step;
    }

    // The terminator is cut out; a line that is the terminator alone adds nothing.
    const std::size_t terminatorStart = scan.codeEnd - length;
    if (terminatorStart > left)
        Append(raw.substr(left, terminatorStart - left));
    step.completed = std::move(m_buffer);
    m_buffer.clear();
    m_hasCode = false;
    keepRest();
    return step;
}

} // namespace norvane::update
