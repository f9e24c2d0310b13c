#include "frontends/console/console_window.h"

#include "platform/clock.h"

namespace norvane::console {

ConsoleWindow::ConsoleWindow(std::ostream& out, std::ostream& err, std::ostream* log, Clock clock)
    : m_out(out), m_err(err), m_log(log), m_clock(std::move(clock)) {}

void ConsoleWindow::AddStatus(std::string_view text) {
    OpenLine(m_out, text);
}

void ConsoleWindow::AddError(std::string_view text) {
    // Errors go where an administrator's script looks for them.
    OpenLine(m_err, text);
}

void ConsoleWindow::MarkStatus(std::string_view text) {
    // A line of its own (a time left) came after the memo's last line: the mark goes to that
    // line again, whole, as the window's memo shows it.
    if (m_line == nullptr && m_interrupted) {
        OpenLine(*m_interrupted->stream, m_interrupted->text + std::string(text));
        return;
    }
    // A mark with no line to extend starts one, as it does in the window's memo.
    if (m_line == nullptr) {
        OpenLine(m_out, text);
        return;
    }
    *m_line << text;
    m_line->flush();
    m_lineText += text;
    m_logLine += text;
}

void ConsoleWindow::OpenLine(std::ostream& stream, std::string_view text) {
    EndOpenLine();
    m_interrupted.reset();
    // The line appears as its step starts; a mark or the next line completes it.
    stream << text;
    stream.flush();
    m_line = &stream;
    m_lineText = text;
    if (m_log != nullptr)
        m_logLine = platform::LocalTimeText() + "  " + std::string(text);
}

void ConsoleWindow::EndOpenLine() {
    if (m_line == nullptr)
        return;
    *m_line << '\n';
    m_line->flush();
    m_line = nullptr;
    // The log's copy of a line is written whole, once its marks have come.
    if (m_log != nullptr) {
        *m_log << m_logLine << '\n';
        m_log->flush();
    }
}

void ConsoleWindow::WriteLine(std::ostream& stream, std::string_view text) {
    std::optional<MemoLine> memoLine;
    if (m_line != nullptr)
        memoLine = MemoLine{m_line, m_lineText};
    else
        memoLine = m_interrupted;
    OpenLine(stream, text);
    EndOpenLine();
    m_interrupted = memoLine;
}

void ConsoleWindow::Finish() {
    EndOpenLine();
}

void ConsoleWindow::ShowMessageBox(std::string_view text, ui::MessageKind kind) {
    WriteLine(m_err, kind == ui::MessageKind::Warning ? "warning: " + std::string(text)
                                                      : ui::ErrorText(text));
}

void ConsoleWindow::ShowError(std::string_view text) {
    ShowMessageBox(text, ui::MessageKind::Error);
}

void ConsoleWindow::SetCaption(ui::Control control, std::string_view text) {
    if (control != ui::Control::lUpdateTime)
        return;
    // The first estimate, made after a line or two, says little. After it a line comes at
    // most every TimeLineInterval, however many lines a script has, so that no log floods.
    const auto now = m_clock();
    if (!m_nextTimeLine) {
        m_nextTimeLine = now + TimeLineInterval;
        return;
    }
    if (now < *m_nextTimeLine)
        return;
    m_nextTimeLine = now + TimeLineInterval;
    WriteLine(m_out, "  залишилось: " + std::string(text));
}

void ConsoleWindow::SetFileCaption(ui::Control control, std::string_view name, std::size_t index,
                                   std::size_t count) {
    // Scripts and program files have a memo line of their own that names them; blob files
    // have none.
    if (control != ui::Control::lFile || (m_line == &m_out && m_lineText.starts_with(name)))
        return;
    WriteLine(m_out, ui::FileCaptionText(name, index, count));
}

// The other captions, visibility and the progress bar only matter to someone watching a
// window.
void ConsoleWindow::SetVisible(ui::Control, bool) {}
void ConsoleWindow::SetEnabled(ui::Control, bool) {}
void ConsoleWindow::ProgressChanged(int, int, int) {}
void ConsoleWindow::Close() {}

void ConsoleWindow::PumpMessages() {
    m_out.flush();
}

} // namespace norvane::console
