#pragma once

#include "ui/window.h"

#include <ostream>
#include <string>

namespace norvane::console {

/// The update window of unattended mode: each memo line goes to out as its step starts, and
/// its mark follows on the same line; lines that report an error and message boxes go to
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
    void EndOpenLine();
    // The log's copy of a line is written whole, once its mark has come.
    void StartLogLine(std::string_view text);
    void EndLogLine();

    std::ostream& m_out;
    std::ostream& m_err;
    std::ostream* m_log;
    bool m_lineOpen = false;
    std::string m_logLine;
    bool m_logLineOpen = false;
};

} // namespace norvane::console
