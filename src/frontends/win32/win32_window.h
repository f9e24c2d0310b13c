#pragma once

#include "platform/win32/wide.h"
#include "ui/event_window.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace norvane::win32 {

/// A GDI object (font, brush) deleted when its one owner goes.
template <typename Object> class GdiObject {
public:
    explicit GdiObject(Object object = nullptr) : m_object(object) {}
    GdiObject(GdiObject&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) {
            Reset();
            m_object = std::exchange(other.m_object, nullptr);
        }
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() { Reset(); }

    Object Get() const { return m_object; }

private:
    void Reset() noexcept {
        if (m_object != nullptr)
            ::DeleteObject(std::exchange(m_object, nullptr));
    }
    Object m_object;
};

/// A top-level window destroyed when its one owner goes. The object it serves is detached
/// from it first, so that a window destroyed from a destructor never calls back into it.
/// It stands for its handle in the system's calls.
class WindowHandle {
public:
    WindowHandle() = default;
    explicit WindowHandle(HWND hwnd) : m_hwnd(hwnd) {}
    WindowHandle(const WindowHandle&) = delete;
    WindowHandle& operator=(const WindowHandle&) = delete;
    ~WindowHandle() {
        if (m_hwnd == nullptr)
            return;
        ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        ::DestroyWindow(m_hwnd);
    }

    operator HWND() const noexcept { return m_hwnd; }
    /// Forgets a window the system has destroyed.
    HWND Release() noexcept { return std::exchange(m_hwnd, nullptr); }

private:
    HWND m_hwnd = nullptr;
};

/// The update window drawn with native Win32 controls. Controls sit at their design positions
/// scaled to the window's DPI and follow the window's edges the way their anchors say.
///
/// Every change reaches its control at once. While a handler runs, painting is held to one in
/// PaintInterval; a change of visibility or enabled state and the handler's return are painted
/// at the next chance.
class Win32Window : public ui::EventWindow {
public:
    /// Creates the window and its controls, hidden.
    Win32Window();
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

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

    /// Shows the window on the screen.
    void Show();

    /// Handles messages until the window is closed.
    void RunMessageLoop();

    /// Whether the window still exists (it is destroyed when it closes).
    bool IsOpen() const { return m_hwnd != nullptr; }

    HWND Handle() const { return m_hwnd; }
    /// A control by its name: the names of ui::Control, and Memo2, Label1, Label2.
    HWND Child(std::string_view name) const;
    /// The memo's text as the control holds it.
    std::string MemoText() const;
    /// The window's DPI, which scales every design position.
    UINT Dpi() const { return m_dpi; }

protected:
    void ProgressChanged(int min, int max, int position) override;
    void HandlerReturned() override;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool PreTranslate(MSG& message);
    void CreateControls();
    void CreateFonts();
    void Layout();
    void PaintBevels(HDC dc);
    int Scaled(int value) const;
    int TextWidth(HWND control) const;
    void Command(int id);
    void ApplyVisibility(ui::Control control);
    HWND ControlHandle(ui::Control control) const;
    /// Changes control without letting it paint itself at once while painting is held.
    template <typename Change> void WithoutPaint(HWND control, Change change);

    UINT m_dpi = 96;
    GdiObject<HFONT> m_font;
    GdiObject<HFONT> m_boldFont;
    GdiObject<HBRUSH> m_infoBrush;
    // After the fonts, so that it goes before them.
    WindowHandle m_hwnd;

    HWND m_memo = nullptr;
    HWND m_label1 = nullptr;
    HWND m_lCurVer = nullptr;
    HWND m_label2 = nullptr;
    HWND m_lActVer = nullptr;
    HWND m_lUpdate = nullptr;
    HWND m_progressBar2 = nullptr;
    HWND m_lTextFile = nullptr;
    HWND m_lFile = nullptr;
    HWND m_lUpdateTime = nullptr;
    HWND m_btOK = nullptr;
    HWND m_btCancel = nullptr;

    // plUp is drawn as the group of its controls: one shows when it and the group are shown.
    bool m_plUpVisible = true;
    bool m_ownVisible[5] = {false, true, false, false, false};

    std::wstring m_memoText;
};

} // namespace norvane::win32
