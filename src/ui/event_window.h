#pragma once

#include "ui/window.h"

#include <chrono>
#include <functional>
#include <string_view>

namespace norvane::ui {

/// A toolkit window's side of the event boundary: the handlers behind btOK and btCancel, the
/// error display for what escapes them, and a close that waits for a running handler, since
/// the install has no point at which it could stop.
class EventWindow : public Window {
public:
    /// The least time between two paints while a handler runs.
    static constexpr std::chrono::milliseconds PaintInterval{30};
    /// The most time waiting input stays unhandled while a handler runs and pumps: a person
    /// sees no delay, and a script's statements do not pay for a pump each.
    static constexpr std::chrono::milliseconds PumpInterval{5};

    /// What btOK and btCancel (and Esc, through btCancel) run.
    void SetHandlers(std::function<void()> onOK, std::function<void()> onCancel);

    /// Runs an event handler. An error escaping it is shown with ShowError and the window
    /// stays as the handler left it; a close asked for meanwhile happens once it returns.
    void RunHandler(const std::function<void()>& handler);

    /// The application's error display: a modal box with the error's text.
    virtual void ShowError(std::string_view text) = 0;

    /// Puts the window on the screen once the checks have run, unless it was closed.
    virtual void ShowAfterChecks() = 0;

protected:
    void ClickOK() { RunHandler(m_onOK); }
    void ClickCancel() { RunHandler(m_onCancel); }

    /// Whether an event handler is running: the window changes on every line of a script then.
    bool HandlerRunning() const { return m_depth > 0; }
    /// Called when the outermost handler has returned, its error shown: the step has ended.
    virtual void HandlerReturned() {}

    /// Whether a close must wait for the running handler; it is then done when that returns.
    bool DeferClose();

    /// Whether painting is held back: a handler runs, nothing has been shown, hidden, enabled
    /// or disabled since the last paint, and that was less than PaintInterval ago.
    bool PaintHeld() const;
    /// A change of visibility or enabled state, which marks a step: painted at the next chance.
    void NoteStepChanged() { m_stepChanged = true; }
    /// The window has just let itself be painted.
    void NotePainted();

    /// Whether a pump may pass without handling the waiting messages: a handler runs, they
    /// were handled less than PumpInterval ago, no step changed since, and the platform says
    /// no input waits.
    /// Otherwise the pump is noted as done.
    bool PumpSkipped(bool inputWaiting);

private:
    std::function<void()> m_onOK;
    std::function<void()> m_onCancel;
    int m_depth = 0;
    bool m_closePending = false;
    std::chrono::steady_clock::time_point m_lastPaint{};
    std::chrono::steady_clock::time_point m_lastPump{};
    bool m_stepChanged = false;
};

} // namespace norvane::ui
