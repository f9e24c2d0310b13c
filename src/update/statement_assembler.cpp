#include "update/statement_assembler.h"

#include "base/text.h"

namespace norvane::update {

namespace {

bool IsSetTermLine(std::string_view line) {
    return AsciiUpper(line).find("SET TERM") != std::string::npos;
}

} // namespace

char TerminatorFromSetTerm(std::string_view line) {
    if (line.size() < 2)
        return ';';
    const std::size_t last = line.size() - 1;
    bool metM = false;
    for (std::size_t i = 0; i < last; ++i) {
        const char c = line[i];
        const bool isM = c == 'M' || c == 'm';
        if (!metM) {
            metM = isM;
            continue;
        }
        if (!isM && c != ' ')
            return c;
    }
    return line[last - 1];
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

LineKind StatementAssembler::Classify(std::string_view line) const {
    if (!StartsWithAscii(line, "SET ") || StartsWithAscii(line, "SET G"))
        return LineKind::Ordinary;
    // Inside a pending statement, "SET A = 1" is the statement's own clause (UPDATE ... SET);
    // only a terminator change is a command wherever it stands.
    if (!m_buffer.empty() && !IsSetTermLine(line))
        return LineKind::Ordinary;
    return LineKind::Set;
}

AssemblyStep StatementAssembler::Feed(std::string_view rawLine) {
    const std::string_view line = TrimControl(rawLine);
    AssemblyStep step;
    step.kind = Classify(line);
    if (step.kind == LineKind::Set) {
        if (IsSetTermLine(line))
            m_terminator = TerminatorFromSetTerm(line);
        return step;
    }

    // The buffer is kept trimmed, so appending a trimmed line needs no further trimming.
    const bool terminatorAlone = line.size() == 1 && line[0] == m_terminator;
    if (!terminatorAlone && !line.empty()) {
        if (!m_buffer.empty())
            m_buffer.push_back('\n');
        m_buffer.append(line);
    }

    if (line.empty() || line.back() != m_terminator)
        return step;
    if (line.size() >= 2)
        m_buffer.pop_back();
    step.completed = std::move(m_buffer);
    m_buffer.clear();
    return step;
}

} // namespace norvane::update
