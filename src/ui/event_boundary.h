#pragma once

#include <functional>
#include <string_view>

namespace norvane::ui {

/// Where a window's events enter the program's logic. An error escaping a handler is shown
/// instead of ending the program, and a close asked for while a handler runs waits for it,
/// since the install has no point at which it could stop.
class EventBoundary {
public:
    using ShowError = std::function<void(std::string_view)>;

    /// Runs handler, shows the text of an error that escapes it, then carries out a close
    /// that was asked for meanwhile.
    void Run(const std::function<void()>& handler, const ShowError& showError,
             const std::function<void()>& close);

    /// Whether a close must wait for a running handler; it is then done when that returns.
    bool DeferClose();

private:
    int m_depth = 0;
    bool m_closePending = false;
};

} // namespace norvane::ui
