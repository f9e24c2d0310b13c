#pragma once

#include "ui/event_window.h"

#include <QFrame>
#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace norvane::qt {

/// The update window drawn with Qt Widgets. Controls sit at fixed positions and follow the
/// window's edges the way their anchors say, so the window looks the same as at design time
/// when it is resized.
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
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void ProgressChanged(int min, int max, int position) override;

private:
    void CreateControls();
    void ApplyAnchors();
    void EscapePressed();

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
};

} // namespace norvane::qt
