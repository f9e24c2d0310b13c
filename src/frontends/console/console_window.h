#pragma once

#include "ui/window.h"

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace norvane::console {

/// The update window of unattended mode: each memo line goes to out as its step starts, and
/// its marks follow on the same line; error lines (AddError) and message boxes go to err. Every
/// write is flushed at once. Nothing waits for a user.
///
/// Of what a window shows beside its memo, out gets what an administrator needs and the memo
/// lacks: the name of each file a step starts that no memo line names (a blob file), and the
/// remaining time, indented, at most once every TimeLineInterval.
class ConsoleWindow : public ui::Window {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    /// The least time between two lines of the remaining time.
    static constexpr std::chrono::seconds TimeLineInterval{5};

    /// log, when given, receives every line with the time it started. clock tells the time
    /// the remaining-time lines are spaced by.
    ConsoleWindow(std::ostream& out, std::ostream& err, std::ostream* log = nullptr,
                  Clock clock = std::chrono::steady_clock::now);

    void AddStatus(std::string_view text) override;
    void AddError(std::string_view text) override;
    void MarkStatus(std::string_view text) override;
    void SetCaption(ui::Control control, std::string_view text) override;
    void SetFileCaption(ui::Control control, std::string_view name, std::size_t index,
                        std::size_t count) override;
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
    // A whole line of its own, which no mark extends.
    void WriteLine(std::ostream& stream, std::string_view text);

    std::ostream& m_out;
    std::ostream& m_err;
    std::ostream* m_log;
    Clock m_clock;
    // The stream of the line that marks would extend; null when no line is open.
    std::ostream* m_line = nullptr;
    // The open line's text with its marks, and as the log will have it, with its start time.
    std::string m_lineText;
    std::string m_logLine;
    // The memo's last line when a line of its own (a time left, a file, a box's text) has
    // ended it, for a mark that comes after.
    struct MemoLine {
        std::ostream* stream;
        std::string text;
    };
    std::optional<MemoLine> m_interrupted;
    // When the next line of the remaining time may come; nothing before its first estimate.
    std::optional<std::chrono::steady_clock::time_point> m_nextTimeLine;
};

} // namespace norvane::console
