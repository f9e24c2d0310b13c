#include "ui/event_window.h"

#include <exception>

namespace norvane::ui {

void EventWindow::SetHandlers(std::function<void()> onOK, std::function<void()> onCancel) {
    m_onOK = std::move(onOK);
    m_onCancel = std::move(onCancel);
}

void EventWindow::RunHandler(const std::function<void()>& handler) {
    ++m_depth;
    try {
        if (handler)
            handler();
    } catch (const std::exception& error) {
        ShowError(error.what());
    } catch (...) {
        ShowError("");
    }
    --m_depth;
    if (m_depth == 0)
        HandlerReturned();
    if (m_depth == 0 && m_closePending) {
        m_closePending = false;
        Close();
    }
}

bool EventWindow::PaintHeld() const {
    return HandlerRunning() && !m_stepChanged &&
           std::chrono::steady_clock::now() - m_lastPaint < PaintInterval;
}

void EventWindow::NotePainted() {
    m_lastPaint = std::chrono::steady_clock::now();
    m_stepChanged = false;
}

bool EventWindow::PumpSkipped(bool inputWaiting) {
    const auto now = std::chrono::steady_clock::now();
    if (HandlerRunning() && !inputWaiting && !m_stepChanged && now - m_lastPump < PumpInterval)
        return true;
    m_lastPump = now;
    return false;
}

bool EventWindow::DeferClose() {
    if (m_depth == 0)
        return false;
    m_closePending = true;
    return true;
}

} // namespace norvane::ui
