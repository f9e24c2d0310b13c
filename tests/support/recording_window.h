#pragma once

#include "ui/window.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace norvane::testing {

/// A window that keeps what the logic did to it: the memo as text with CR LF line ends,
/// every state change in order, the pumps and the message boxes.
class RecordingWindow : public ui::Window {
public:
    RecordingWindow();

    void AddStatus(std::string_view text) override;
    void AddError(std::string_view text) override;
    void MarkStatus(std::string_view text) override;
    void SetCaption(ui::Control control, std::string_view text) override;
    void SetVisible(ui::Control control, bool visible) override;
    void SetEnabled(ui::Control control, bool enabled) override;
    void PumpMessages() override;
    void ShowMessageBox(std::string_view text, ui::MessageKind kind) override;
    void Close() override;

    /// The memo's text, every line ended by CR LF.
    const std::string& MemoText() const { return m_memo; }
    /// The memo's lines without their line ends.
    std::vector<std::string> MemoLines() const;

    /// The lines added as errors, in order.
    const std::vector<std::string>& ErrorLines() const { return m_errors; }

    /// Every change, in order: "caption lFile=x", "visible btOK=0", "enabled btCancel=1",
    /// "progress 0..10@3".
    const std::vector<std::string>& Events() const { return m_events; }

    const std::string& Caption(ui::Control control) const { return m_captions.at(control); }
    bool Visible(ui::Control control) const { return m_visible.at(control); }
    /// Whether the control would show: visible, and inside a visible progress panel.
    bool Shown(ui::Control control) const;
    bool Enabled(ui::Control control) const { return m_enabled.at(control); }

    /// The range and position the progress bar was last told to draw.
    struct Bar {
        int min = 0;
        int max = 100;
        int position = 0;
    };
    const Bar& DrawnBar() const { return m_bar; }

    int PumpCount() const { return m_pumps; }
    int CloseCount() const { return m_closes; }

    struct MessageBox {
        std::string text;
        ui::MessageKind kind;
    };
    const std::vector<MessageBox>& MessageBoxes() const { return m_boxes; }

    /// Runs on every PumpMessages, as input waiting in the queue would.
    std::function<void()> OnPump;
    /// Runs after every status line is added, with its text.
    std::function<void(std::string_view line)> OnStatus;

protected:
    void ProgressChanged(int min, int max, int position) override;

private:
    std::string m_memo;
    Bar m_bar;
    std::vector<std::string> m_events;
    std::vector<std::string> m_errors;
    std::map<ui::Control, std::string> m_captions;
    std::map<ui::Control, bool> m_visible;
    std::map<ui::Control, bool> m_enabled;
    std::vector<MessageBox> m_boxes;
    int m_pumps = 0;
    int m_closes = 0;
};

} // namespace norvane::testing
