#include "ui/event_boundary.h"

#include <exception>

namespace norvane::ui {

void EventBoundary::Run(const std::function<void()>& handler, const ShowError& showError,
                        const std::function<void()>& close) {
    ++m_depth;
    try {
        if (handler)
            handler();
    } catch (const std::exception& error) {
        showError(error.what());
    } catch (...) {
        showError("");
    }
    --m_depth;
    if (m_depth == 0 && m_closePending) {
        m_closePending = false;
        close();
    }
}

bool EventBoundary::DeferClose() {
    if (m_depth == 0)
        return false;
    m_closePending = true;
    return true;
}

} // namespace norvane::ui
