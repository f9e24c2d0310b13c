#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace norvane::ui {

/// The controls of the update window that the program changes.
enum class Control {
    plUp,
    lCurVer,
    lActVer,
    lUpdate,
    ProgressBar2,
    lTextFile,
    lFile,
    lUpdateTime,
    btOK,
    btCancel,
};

/// The name of a control as the window and its tests know it.
std::string_view ControlName(Control control);

/// A file label's text: "<name> (<index>/<count>)".
std::string FileCaptionText(std::string_view name, std::size_t index, std::size_t count);

/// The text of a line that reports a failure: "error" alone, or "error: " and what failed.
std::string ErrorText(std::string_view detail);

enum class MessageKind { Warning, Error };

/// The update window as the program's logic sees it. A toolkit window, the console of
/// unattended mode and the recording window of the tests implement it.
class Window {
public:
    virtual ~Window() = default;

    /// Appends a new last line to the status memo.
    virtual void AddStatus(std::string_view text) = 0;
    /// Appends a line that reports a failure (its text begins with "error"). It reads like
    /// any other line; a window that keeps failures apart (a console's error stream) knows it
    /// by this call, never by the text.
    virtual void AddError(std::string_view text) { AddStatus(text); }
    /// Appends text to the memo's last line, before its line break.
    virtual void MarkStatus(std::string_view text) = 0;

    virtual void SetCaption(Control control, std::string_view text) = 0;
    /// Shows the file a step works on in a label: "<name> (<index>/<count>)".
    virtual void SetFileCaption(Control control, std::string_view name, std::size_t index,
                                std::size_t count);
    virtual void SetVisible(Control control, bool visible) = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;

    /// Lets the window handle the input and paint events that are waiting, then returns.
    virtual void PumpMessages() = 0;
    /// A modal box with one OK button; returns when it is dismissed.
    virtual void ShowMessageBox(std::string_view text, MessageKind kind) = 0;
    /// Closes the window; closing it ends the program.
    virtual void Close() = 0;

    // ProgressBar2. The window keeps the range and clamps the position to it, so every
    // implementation shows the same thing.
    void SetProgressMin(int value);
    void SetProgressMax(int value);
    void SetProgressPosition(int value);
    int ProgressMin() const { return m_min; }
    int ProgressMax() const { return m_max; }
    int ProgressPosition() const { return m_position; }

protected:
    /// Draws the progress bar after its range or position changed.
    virtual void ProgressChanged(int min, int max, int position) = 0;

private:
    void ClampAndShow();
    int m_min = 0;
    int m_max = 100;
    int m_position = 0;
};

/// ProgressBar2 handed to an install step, which may also be given none.
class ProgressBar {
public:
    explicit ProgressBar(Window& window) : m_window(window) {}
    int Position() const { return m_window.ProgressPosition(); }
    int Max() const { return m_window.ProgressMax(); }
    void SetPosition(int value) { m_window.SetProgressPosition(value); }
    void SetMax(int value) { m_window.SetProgressMax(value); }
    void SetMin(int value) { m_window.SetProgressMin(value); }
    /// Moves the position one step on; at the maximum it stays there.
    void Advance() { m_window.SetProgressPosition(Position() + 1); }

private:
    Window& m_window;
};

/// A label (or other control) handed to an install step, which may also be given none.
class Label {
public:
    Label(Window& window, Control control) : m_window(window), m_control(control) {}
    void SetCaption(std::string_view text) { m_window.SetCaption(m_control, text); }
    /// The file label's text: "<name> (<index>/<count>)".
    void SetFileCaption(std::string_view name, std::size_t index, std::size_t count) {
        m_window.SetFileCaption(m_control, name, index, count);
    }
    void SetVisible(bool visible) { m_window.SetVisible(m_control, visible); }

private:
    Window& m_window;
    Control m_control;
};

} // namespace norvane::ui
