#pragma once

#include "ui/window.h"

#include <ostream>
#include <string>

namespace norvane::console {

/// The update window of unattended mode: each memo line goes to out as its step starts, and
/// its marks follow on the same line; lines that report an error and message boxes go to
/// err. Every write is flushed at once. Nothing waits for a user.
class ConsoleWindow : public ui::Window {
public:
    /// log, when given, receives every memo line and message with the time it started.
    ConsoleWindow(std::ostream& out, std::ostream& err, std::ostream* log = nullptr);

    void AddStatus(std::string_view text) override;
    void MarkStatus(std::string_view text) override;
    void SetCaption(ui::Control control, std::string_view text) override;
    void SetVisible(ui::Control control, bool visible) override;
    void SetEnabled(ui::Control control, bool enabled) override;
    void PumpMessages() override;
    void ShowMessageBox(std::string_view text, ui::MessageKind kind) override;
    void Close() override;

    /// Ends the last memo line, which no later line has completed.
    void Finish();
    /// Reports an error that ended a step.
    void ShowError(std::string_view text);

protected:
    void ProgressChanged(int min, int max, int position) override;

private:
    void OpenLine(std::ostream& stream, std::string_view text);
    void EndOpenLine();

    std::ostream& m_out;
    std::ostream& m_err;
    std::ostream* m_log;
    // The stream of the line that marks would extend; null when no line is open.
    std::ostream* m_line = nullptr;
    // The open line as the log will have it: its start time, its text and its marks.
    std::string m_logLine;
};

} // namespace norvane::console
