#pragma once

#include "ui/event_window.h"

#include <QFrame>
#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QMessageBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace norvane::qt {

/// The update window drawn with Qt Widgets. Controls sit at fixed positions and follow the
/// window's edges the way their anchors say, so the window looks the same as at design time
/// when it is resized.
///
/// Every change reaches its widget at once, but for the progress bar's range and position,
/// which the window takes at once and the bar when it is next painted. While a handler runs,
/// painting is held to one in PaintInterval; a change of visibility or enabled state, a
/// message box and the handler's return are painted at the next chance, so a step's start and
/// end are always on the screen.
class QtWindow : public QWidget, public ui::EventWindow {
public:
    QtWindow();
    ~QtWindow() override;

    void AddStatus(std::string_view text) override;
    void MarkStatus(std::string_view text) override;
    void SetCaption(ui::Control control, std::string_view text) override;
    void SetVisible(ui::Control control, bool visible) override;
    void SetEnabled(ui::Control control, bool enabled) override;
    void PumpMessages() override;
    void ShowMessageBox(std::string_view text, ui::MessageKind kind) override;
    void Close() override;

    void ShowError(std::string_view text) override;
    void ShowAfterChecks() override;

    /// A control the program changes.
    QWidget* Widget(ui::Control control) const;
    QPlainTextEdit* Memo2() const { return m_memo; }
    QWidget* plInfo() const { return m_plInfo; }
    QWidget* Panel2() const { return m_panel2; }
    QWidget* Panel3() const { return m_panel3; }

    /// The memo's text, every line ended by CR LF.
    std::string MemoText() const;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void ProgressChanged(int min, int max, int position) override;
    void HandlerReturned() override;

private:
    void CreateControls();
    void ApplyAnchors();
    void EscapePressed();
    bool HoldsPaint() const;
    void NotePaint();
    // The bar takes its range and position when it is next painted: setting a value makes
    // Qt weigh a repaint, which costs more per line than the line's own work.
    void ApplyBar();
    /// Paints everything that changed since the last paint.
    void PaintNow();
    /// Shows a modal box over the window as it is now.
    void ExecBox(QMessageBox& box);

    QFrame* m_plInfo = nullptr;
    QPlainTextEdit* m_memo = nullptr;
    QFrame* m_panel3 = nullptr;
    QFrame* m_panel4 = nullptr;
    QFrame* m_panel5 = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_lCurVer = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_lActVer = nullptr;
    QFrame* m_plUp = nullptr;
    QLabel* m_lUpdate = nullptr;
    QProgressBar* m_progressBar2 = nullptr;
    QLabel* m_lTextFile = nullptr;
    QLabel* m_lFile = nullptr;
    QLabel* m_lUpdateTime = nullptr;
    QFrame* m_panel2 = nullptr;
    QPushButton* m_btOK = nullptr;
    QPushButton* m_btCancel = nullptr;

    bool m_memoEmpty = true;
    std::string m_timeCaption = "--:--";

    bool m_paintOwed = false;
    struct BarState {
        int min = 0;
        int max = 100;
        int position = 0;
    };
    BarState m_bar;
    bool m_barOwed = false;
    int m_openBoxes = 0;
};

} // namespace norvane::qt
