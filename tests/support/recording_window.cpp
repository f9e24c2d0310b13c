#include "support/recording_window.h"

namespace norvane::testing {

using ui::Control;

RecordingWindow::RecordingWindow() {
    // The window's state after construction.
    m_captions = {{Control::lCurVer, "-"},
                  {Control::lActVer, "-"},
                  {Control::lUpdate, "Встановлення оновлення"},
                  {Control::lFile, "lFile"},
                  {Control::lUpdateTime, "--:--"},
                  {Control::btOK, "Оновить"},
                  {Control::btCancel, "Зачинити"}};
    m_visible = {{Control::plUp, true},         {Control::lUpdate, false},
                 {Control::ProgressBar2, true}, {Control::lTextFile, false},
                 {Control::lFile, false},       {Control::lUpdateTime, false},
                 {Control::btOK, true},         {Control::btCancel, true}};
    m_enabled = {{Control::btOK, false}, {Control::btCancel, true}};
}

void RecordingWindow::AddStatus(std::string_view text) {
    m_memo.append(text);
    m_memo.append("\r\n");
    if (OnStatus)
        OnStatus(text);
}

void RecordingWindow::AddError(std::string_view text) {
    AddStatus(text);
    m_errors.emplace_back(text);
}

void RecordingWindow::MarkStatus(std::string_view text) {
    // The mark goes before the last line's CR LF; on an empty memo it starts the first line.
    if (m_memo.empty()) {
        AddStatus(text);
        return;
    }
    m_memo.insert(m_memo.size() - 2, text);
}

void RecordingWindow::SetCaption(Control control, std::string_view text) {
    m_captions[control] = std::string(text);
    m_events.push_back("caption " + std::string(ui::ControlName(control)) + "=" +
                       std::string(text));
}

void RecordingWindow::SetVisible(Control control, bool visible) {
    m_visible[control] = visible;
    m_events.push_back("visible " + std::string(ui::ControlName(control)) + "=" +
                       (visible ? "1" : "0"));
}

void RecordingWindow::SetEnabled(Control control, bool enabled) {
    m_enabled[control] = enabled;
    m_events.push_back("enabled " + std::string(ui::ControlName(control)) + "=" +
                       (enabled ? "1" : "0"));
}

void RecordingWindow::PumpMessages() {
    ++m_pumps;
    if (OnPump)
        OnPump();
}

void RecordingWindow::ShowMessageBox(std::string_view text, ui::MessageKind kind) {
    m_boxes.push_back({std::string(text), kind});
}

void RecordingWindow::Close() {
    ++m_closes;
}

void RecordingWindow::ProgressChanged(int min, int max, int position) {
    m_bar = {min, max, position};
    m_events.push_back("progress " + std::to_string(min) + ".." + std::to_string(max) + "@" +
                       std::to_string(position));
}

bool RecordingWindow::Shown(Control control) const {
    // The controls of the progress panel show only while the panel does.
    for (Control member : {Control::lUpdate, Control::ProgressBar2, Control::lTextFile,
                           Control::lFile, Control::lUpdateTime}) {
        if (member == control && !m_visible.at(Control::plUp))
            return false;
    }
    return m_visible.at(control);
}

std::vector<std::string> RecordingWindow::MemoLines() const {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = m_memo.find("\r\n"); end != std::string::npos;
         end = m_memo.find("\r\n", start)) {
        lines.push_back(m_memo.substr(start, end - start));
        start = end + 2;
    }
    if (start < m_memo.size())
        lines.push_back(m_memo.substr(start));
    return lines;
}

} // namespace norvane::testing
