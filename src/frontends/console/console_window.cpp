#include "frontends/console/console_window.h"

namespace norvane::console {

ConsoleWindow::ConsoleWindow(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

void ConsoleWindow::AddStatus(std::string_view text) {
    WritePending();
    m_pending.assign(text);
    m_hasPending = true;
}

void ConsoleWindow::MarkStatus(std::string_view text) {
    // A mark extends the line still open, so a step and its "[OK]" leave as one line.
    m_pending.append(text);
    m_hasPending = true;
}

void ConsoleWindow::WritePending() {
    if (!m_hasPending)
        return;
    m_out << m_pending << '\n';
    m_out.flush();
    m_pending.clear();
    m_hasPending = false;
}

void ConsoleWindow::Finish() {
    WritePending();
}

void ConsoleWindow::ShowMessageBox(std::string_view text, ui::MessageKind kind) {
    WritePending();
    m_err << (kind == ui::MessageKind::Warning ? "warning: " : "error: ") << text << '\n';
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
