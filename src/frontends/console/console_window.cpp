#include "frontends/console/console_window.h"

#include "platform/clock.h"

namespace norvane::console {

ConsoleWindow::ConsoleWindow(std::ostream& out, std::ostream& err, std::ostream* log)
    : m_out(out), m_err(err), m_log(log) {}

void ConsoleWindow::StartLogLine(std::string_view text) {
    EndLogLine();
    if (m_log == nullptr)
        return;
    m_logLine = platform::LocalTimeText() + "  " + std::string(text);
    m_logLineOpen = true;
}

void ConsoleWindow::EndLogLine() {
    if (!m_logLineOpen)
        return;
    *m_log << m_logLine << '\n';
    m_log->flush();
    m_logLineOpen = false;
}

void ConsoleWindow::AddStatus(std::string_view text) {
    EndOpenLine();
    StartLogLine(text);
    // Errors go where an administrator's script looks for them; they are never marked.
    if (text.starts_with("error")) {
        m_err << text << '\n';
        m_err.flush();
        return;
    }
    // The line appears as its step starts; a mark or the next line completes it.
    m_out << text;
    m_out.flush();
    m_lineOpen = true;
}

void ConsoleWindow::MarkStatus(std::string_view text) {
    if (m_logLineOpen)
        m_logLine += text;
    m_out << text;
    m_out.flush();
    m_lineOpen = true;
}

void ConsoleWindow::EndOpenLine() {
    EndLogLine();
    if (!m_lineOpen)
        return;
    m_out << '\n';
    m_out.flush();
    m_lineOpen = false;
}

void ConsoleWindow::Finish() {
    EndOpenLine();
}

void ConsoleWindow::ShowMessageBox(std::string_view text, ui::MessageKind kind) {
    EndOpenLine();
    const std::string line =
        (kind == ui::MessageKind::Warning ? "warning: " : "error: ") + std::string(text);
    StartLogLine(line);
    EndLogLine();
    m_err << line << '\n';
    m_err.flush();
}

void ConsoleWindow::ShowError(std::string_view text) {
    ShowMessageBox(text, ui::MessageKind::Error);
}

// Captions, visibility and the progress bar only matter to someone watching a window.
void ConsoleWindow::SetCaption(ui::Control, std::string_view) {}
void ConsoleWindow::SetVisible(ui::Control, bool) {}
void ConsoleWindow::SetEnabled(ui::Control, bool) {}
void ConsoleWindow::ProgressChanged(int, int, int) {}
void ConsoleWindow::Close() {}

void ConsoleWindow::PumpMessages() {
    m_out.flush();
}

} // namespace norvane::console
