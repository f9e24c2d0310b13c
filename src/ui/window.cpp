#include "ui/window.h"

#include <algorithm>

namespace norvane::ui {

std::string_view ControlName(Control control) {
    switch (control) {
    case Control::plUp:
        return "plUp";
    case Control::lCurVer:
        return "lCurVer";
    case Control::lActVer:
        return "lActVer";
    case Control::lUpdate:
        return "lUpdate";
    case Control::ProgressBar2:
        return "ProgressBar2";
    case Control::lTextFile:
        return "lTextFile";
    case Control::lFile:
        return "lFile";
    case Control::lUpdateTime:
        return "lUpdateTime";
    case Control::btOK:
        return "btOK";
    case Control::btCancel:
        return "btCancel";
    }
    return "?";
}

std::string ErrorText(std::string_view detail) {
    return detail.empty() ? std::string("error") : "error: " + std::string(detail);
}

std::string FileCaptionText(std::string_view name, std::size_t index, std::size_t count) {
    return std::string(name) + " (" + std::to_string(index) + "/" + std::to_string(count) + ")";
}

void Window::SetFileCaption(Control control, std::string_view name, std::size_t index,
                            std::size_t count) {
    SetCaption(control, FileCaptionText(name, index, count));
}

void Window::SetProgressMin(int value) {
    m_min = value;
    m_max = std::max(m_max, m_min);
    ClampAndShow();
}

void Window::SetProgressMax(int value) {
    m_max = value;
    m_min = std::min(m_min, m_max);
    ClampAndShow();
}

void Window::SetProgressPosition(int value) {
    m_position = value;
    ClampAndShow();
}

void Window::ClampAndShow() {
    m_position = std::clamp(m_position, m_min, m_max);
    ProgressChanged(m_min, m_max, m_position);
}

} // namespace norvane::ui
