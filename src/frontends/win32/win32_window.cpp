#include "frontends/win32/win32_window.h"

#include "base/exceptions.h"
#include "ui/design.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>

namespace norvane::win32 {

using platform::win32::Utf8;
using platform::win32::Wide;
using ui::Control;
namespace design = ui::design;

namespace {

constexpr wchar_t ClassName[] = L"TForm1";

enum ControlId : int {
    IdMemo2 = 100,
    IdLabel1,
    IdCurVer,
    IdLabel2,
    IdActVer,
    IdUpdate,
    IdProgressBar2,
    IdTextFile,
    IdFile,
    IdUpdateTime,
    IdOK,
    // Esc and the dialog manager both speak of the cancel button by this id.
    IdCancel = IDCANCEL,
};

// Functions of Windows 10 looked up at run time, so that the program still starts on older
// systems, which get the system DPI instead.
template <typename Function> Function User32Function(const char* name) {
    const FARPROC address = ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

UINT DpiOf(HWND hwnd) {
    using GetDpiForWindow = UINT(WINAPI*)(HWND);
    static const auto getDpi = User32Function<GetDpiForWindow>("GetDpiForWindow");
    if (getDpi != nullptr) {
        if (const UINT dpi = getDpi(hwnd); dpi != 0)
            return dpi;
    }
    HDC dc = ::GetDC(hwnd);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(hwnd, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

void AdjustForDpi(RECT& rect, DWORD style, DWORD exStyle, UINT dpi) {
    using AdjustWindowRectExForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjust = User32Function<AdjustWindowRectExForDpi>("AdjustWindowRectExForDpi");
    if (adjust == nullptr || !adjust(&rect, style, FALSE, exStyle, dpi))
        ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

void RegisterWindowClass() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&controls);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = ClassName;
        return ::RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
}

std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

constexpr DWORD WindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

// The window alone, at the design size and hidden; null when the system refuses it.
HWND CreateMainWindow() {
    RegisterWindowClass();
    return ::CreateWindowExW(0, ClassName, L"Оновлення", WindowStyle, 0, 0, design::Width,
                             design::Height, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                             nullptr);
}

} // namespace

Win32Window::Win32Window() : m_hwnd(CreateMainWindow()) {
    if (m_hwnd == nullptr)
        throw EOSError("Cannot create the window. " +
                       Utf8(platform::win32::SystemErrorTextW(::GetLastError())));
    m_dpi = DpiOf(m_hwnd);
    m_infoBrush = GdiObject<HBRUSH>(::CreateSolidBrush(::GetSysColor(COLOR_INFOBK)));
    CreateFonts();
    CreateControls();
    RECT frame{0, 0, Scaled(design::Width), Scaled(design::Height)};
    AdjustForDpi(frame, WindowStyle, 0, m_dpi);
    // Placed at the screen's origin, frame included.
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
    // The window calls into the object only from here on, when nothing of its making can
    // fail any more; until now its messages went to the system's default procedure.
    ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
}

// The window, then the fonts and the brush, go with their owners.
Win32Window::~Win32Window() = default;

int Win32Window::Scaled(int value) const {
    return ::MulDiv(value, static_cast<int>(m_dpi), 96);
}

void Win32Window::CreateFonts() {
    // Tahoma, height -11 at 96 DPI: 8 points.
    const auto make = [this](int weight) {
        return GdiObject<HFONT>(::CreateFontW(
            -Scaled(11), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
    };
    GdiObject<HFONT> font = make(FW_NORMAL);
    GdiObject<HFONT> boldFont = make(FW_BOLD);
    if (m_memo != nullptr) {
        for (HWND bold : {m_label1, m_lCurVer, m_label2, m_lActVer, m_lUpdate})
            ::SendMessageW(bold, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont.Get()), FALSE);
        for (HWND normal : {m_memo, m_lTextFile, m_lFile, m_lUpdateTime, m_btOK, m_btCancel})
            ::SendMessageW(normal, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);
    }
    // The fonts the controls used until now go only once none of them uses them.
    m_font = std::move(font);
    m_boldFont = std::move(boldFont);
}

void Win32Window::CreateControls() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const auto create = [&](DWORD exStyle, const wchar_t* windowClass, const wchar_t* text,
                            DWORD style, int id, HFONT font) {
        HWND control =
            ::CreateWindowExW(exStyle, windowClass, text, WS_CHILD | style, 0, 0, 0, 0, m_hwnd,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return control;
    };
    constexpr DWORD label = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
    constexpr DWORD hiddenLabel = SS_LEFT | SS_NOPREFIX;
    // Created in tab order: the memo first, then the buttons.
    m_memo =
        create(WS_EX_CLIENTEDGE, L"EDIT", L"",
               WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
               IdMemo2, m_font.Get());
    // The default limit of about 30,000 characters would cut a long run's account short.
    ::SendMessageW(m_memo, EM_SETLIMITTEXT, 0, 0);
    m_label1 = create(0, L"STATIC", L"Поточна версія", label, IdLabel1, m_boldFont.Get());
    m_lCurVer =
        create(0, L"STATIC", L"-", WS_VISIBLE | SS_RIGHT | SS_NOPREFIX, IdCurVer, m_boldFont.Get());
    m_label2 = create(0, L"STATIC", L"Доступна версія", label, IdLabel2, m_boldFont.Get());
    m_lActVer =
        create(0, L"STATIC", L"-", WS_VISIBLE | SS_RIGHT | SS_NOPREFIX, IdActVer, m_boldFont.Get());
    m_lUpdate =
        create(0, L"STATIC", L"Встановлення оновлення", hiddenLabel, IdUpdate, m_boldFont.Get());
    m_progressBar2 = create(0, PROGRESS_CLASSW, L"", WS_VISIBLE, IdProgressBar2, m_font.Get());
    ::SendMessageW(m_progressBar2, PBM_SETRANGE32, 0, 100);
    m_lTextFile = create(0, L"STATIC", L"Обробока файла:", hiddenLabel, IdTextFile, m_font.Get());
    m_lFile = create(0, L"STATIC", L"lFile", hiddenLabel, IdFile, m_font.Get());
    m_lUpdateTime =
        create(0, L"STATIC", L"--:--", SS_RIGHT | SS_NOPREFIX, IdUpdateTime, m_font.Get());
    m_btOK = create(0, L"BUTTON", L"Оновить", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, IdOK,
                    m_font.Get());
    ::EnableWindow(m_btOK, FALSE);
    m_btCancel = create(0, L"BUTTON", L"Зачинити", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                        IdCancel, m_font.Get());
}

int Win32Window::TextWidth(HWND control) const {
    const std::wstring text = TextOf(control);
    HDC dc = ::GetDC(control);
    HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return size.cx;
}

void Win32Window::Layout() {
    RECT client;
    ::GetClientRect(m_hwnd, &client);
    const int width = client.right;
    const int height = client.bottom;
    // Docked from the bottom up: Panel2, plUp, Panel3; plInfo takes the rest.
    const int panel2 = height - Scaled(design::Panel2Height);
    const int plUp = panel2 - Scaled(design::plUpHeight);
    const int panel3 = plUp - Scaled(design::Panel3Height);
    // Panel3's raised bevel insets the two rows docked in it.
    const int bevel = design::Panel3Bevel;
    const int panel4 = panel3 + Scaled(bevel);
    const int panel5 = panel4 + Scaled(design::VersionRowHeight);
    const int labelHeight = Scaled(design::LabelHeight);

    const auto place = [](HWND control, int x, int y, int w, int h) {
        ::SetWindowPos(control, nullptr, x, y, std::max(w, 0), std::max(h, 0),
                       SWP_NOZORDER | SWP_NOACTIVATE);
    };
    const auto autoSized = [&](HWND control, int x, int y) {
        place(control, x, y, TextWidth(control), labelHeight);
    };
    const auto inRow = [&](HWND control, int row, const design::Box& box) {
        place(control, Scaled(bevel + box.left), row + Scaled(box.top), Scaled(box.width),
              labelHeight);
    };
    const auto button = [&](HWND control, int rightGap, const design::Box& box) {
        place(control, width - Scaled(rightGap), panel2 + Scaled(box.top), Scaled(box.width),
              Scaled(box.height));
    };
    // Memo2 is anchored on all four sides of plInfo.
    const design::Box& memo = design::Memo2;
    place(m_memo, Scaled(memo.left), Scaled(memo.top),
          width - Scaled(memo.left + design::MemoRightGap),
          panel3 - Scaled(memo.top + design::MemoBottomGap));
    autoSized(m_label1, Scaled(bevel + design::Label1Left), panel4 + Scaled(design::Label1Top));
    inRow(m_lCurVer, panel4, design::lCurVer);
    autoSized(m_label2, Scaled(bevel + design::Label1Left), panel5 + Scaled(design::Label1Top));
    inRow(m_lActVer, panel5, design::lActVer);
    autoSized(m_lUpdate, Scaled(design::plUpLeft), plUp + Scaled(design::lUpdateTop));
    // lUpdateTime's right edge stays level with the bar's.
    const design::Box& bar = design::ProgressBar2;
    place(m_progressBar2, Scaled(bar.left), plUp + Scaled(bar.top),
          width - Scaled(bar.left + design::ProgressRightGap), Scaled(bar.height));
    autoSized(m_lTextFile, Scaled(design::plUpLeft), plUp + Scaled(design::lTextFileTop));
    autoSized(m_lFile, Scaled(design::plUpLeft), plUp + Scaled(design::lFileTop));
    const int timeWidth = TextWidth(m_lUpdateTime);
    place(m_lUpdateTime, width - Scaled(design::TimeRightGap) - timeWidth,
          plUp + Scaled(design::lUpdateTimeTop), timeWidth, labelHeight);
    button(m_btOK, design::OKRightGap, design::btOK);
    button(m_btCancel, design::CancelRightGap, design::btCancel);
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

void Win32Window::PaintBevels(HDC dc) {
    RECT client;
    ::GetClientRect(m_hwnd, &client);
    const int panel2 = client.bottom - Scaled(design::Panel2Height);
    const int panel3 = panel2 - Scaled(design::plUpHeight + design::Panel3Height);
    RECT panel3Rect{0, panel3, client.right, panel3 + Scaled(design::Panel3Height)};
    RECT panel2Rect{0, panel2, client.right, client.bottom};
    ::DrawEdge(dc, &panel3Rect, BDR_RAISEDOUTER, BF_RECT);
    ::DrawEdge(dc, &panel2Rect, BDR_RAISEDOUTER, BF_RECT);
}

LRESULT CALLBACK Win32Window::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* window = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window == nullptr)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    return window->HandleMessage(message, wParam, lParam);
}

LRESULT Win32Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        Layout();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(m_hwnd, &paint);
        PaintBevels(dc);
        ::EndPaint(m_hwnd, &paint);
        return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        if (reinterpret_cast<HWND>(lParam) == m_memo) {
            ::SetTextColor(dc, ::GetSysColor(COLOR_INFOTEXT));
            ::SetBkColor(dc, ::GetSysColor(COLOR_INFOBK));
            return reinterpret_cast<LRESULT>(m_infoBrush.Get());
        }
        ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED)
            Command(LOWORD(wParam));
        return 0;
    case WM_CLOSE:
        Close();
        return 0;
    case WM_DPICHANGED: {
        m_dpi = HIWORD(wParam);
        CreateFonts();
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(m_hwnd, nullptr, suggested->left, suggested->top,
                       suggested->right - suggested->left, suggested->bottom - suggested->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        Layout();
        return 0;
    }
    case WM_NCDESTROY: {
        HWND hwnd = m_hwnd.Release();
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    default:
        return ::DefWindowProcW(m_hwnd, message, wParam, lParam);
    }
}

void Win32Window::Command(int id) {
    if (id == IdOK && ::IsWindowEnabled(m_btOK))
        ClickOK();
    else if (id == IdCancel && ::IsWindowEnabled(m_btCancel))
        ClickCancel();
}

bool Win32Window::PreTranslate(MSG& message) {
    if (m_hwnd == nullptr)
        return false;
    if (message.hwnd != m_hwnd && !::IsChild(m_hwnd, message.hwnd))
        return false;
    // Esc presses btCancel whichever control has the focus; the memo would keep it otherwise.
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
        Command(IdCancel);
        return true;
    }
    return ::IsDialogMessageW(m_hwnd, &message) != 0;
}

template <typename Change> void Win32Window::WithoutPaint(HWND control, Change change) {
    // A hidden control paints nothing, and a redraw switched on again would show it.
    if (!PaintHeld() || !::IsWindowVisible(control)) {
        change();
        return;
    }
    ::SendMessageW(control, WM_SETREDRAW, FALSE, 0);
    change();
    ::SendMessageW(control, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(control, nullptr, TRUE);
}

void Win32Window::PumpMessages() {
    if (PumpSkipped(HIWORD(::GetQueueStatus(QS_INPUT)) != 0))
        return;
    // Paint messages wait in the queue until the pump lets them through.
    UINT filter = PM_REMOVE;
    if (PaintHeld()) {
        filter |= PM_QS_INPUT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE;
    } else {
        NotePainted();
    }
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, filter)) {
        if (message.message == WM_QUIT) {
            // Left for the message loop that owns it.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (!PreTranslate(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

void Win32Window::RunMessageLoop() {
    MSG message;
    while (m_hwnd != nullptr) {
        const BOOL result = ::GetMessageW(&message, nullptr, 0, 0);
        if (result == 0 || result == -1)
            break;
        if (!PreTranslate(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

void Win32Window::ShowError(std::string_view text) {
    ShowMessageBox(text, ui::MessageKind::Error);
}

void Win32Window::ShowMessageBox(std::string_view text, ui::MessageKind kind) {
    const bool warning = kind == ui::MessageKind::Warning;
    ::MessageBoxW(m_hwnd, Wide(text).c_str(), warning ? L"Попередження" : L"Помилка",
                  MB_OK | (warning ? MB_ICONWARNING : MB_ICONERROR));
}

void Win32Window::Close() {
    // A close asked for while a handler runs (btCancel, Esc or the frame during the install)
    // waits until the handler has returned.
    if (DeferClose())
        return;
    if (m_hwnd != nullptr)
        ::DestroyWindow(m_hwnd);
}

void Win32Window::ShowAfterChecks() {
    // The checks' boxes can only have closed the window if it was never meant to be shown.
    if (IsOpen())
        Show();
}

void Win32Window::Show() {
    ::ShowWindow(m_hwnd, SW_SHOWNORMAL);
    ::UpdateWindow(m_hwnd);
    ::SetFocus(m_memo);
}

void Win32Window::AddStatus(std::string_view text) {
    const std::wstring line = Wide(text) + L"\r\n";
    const auto end = static_cast<WPARAM>(m_memoText.size());
    ::SendMessageW(m_memo, EM_SETSEL, end, end);
    ::SendMessageW(m_memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    m_memoText += line;
    ::SendMessageW(m_memo, EM_SCROLLCARET, 0, 0);
}

void Win32Window::MarkStatus(std::string_view text) {
    // The mark extends the last line: it goes in before that line's CR LF. On an empty memo
    // it starts the first line.
    std::wstring mark = Wide(text);
    std::size_t at = m_memoText.size();
    if (m_memoText.ends_with(L"\r\n"))
        at -= 2;
    else
        mark += L"\r\n";
    ::SendMessageW(m_memo, EM_SETSEL, at, at);
    ::SendMessageW(m_memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(mark.c_str()));
    m_memoText.insert(at, mark);
}

HWND Win32Window::ControlHandle(Control control) const {
    switch (control) {
    case Control::plUp:
        return nullptr;
    case Control::lCurVer:
        return m_lCurVer;
    case Control::lActVer:
        return m_lActVer;
    case Control::lUpdate:
        return m_lUpdate;
    case Control::ProgressBar2:
        return m_progressBar2;
    case Control::lTextFile:
        return m_lTextFile;
    case Control::lFile:
        return m_lFile;
    case Control::lUpdateTime:
        return m_lUpdateTime;
    case Control::btOK:
        return m_btOK;
    case Control::btCancel:
        return m_btCancel;
    }
    return nullptr;
}

HWND Win32Window::Child(std::string_view name) const {
    if (name == "Memo2")
        return m_memo;
    if (name == "Label1")
        return m_label1;
    if (name == "Label2")
        return m_label2;
    for (Control control : {Control::lCurVer, Control::lActVer, Control::lUpdate,
                            Control::ProgressBar2, Control::lTextFile, Control::lFile,
                            Control::lUpdateTime, Control::btOK, Control::btCancel}) {
        if (ui::ControlName(control) == name)
            return ControlHandle(control);
    }
    return nullptr;
}

void Win32Window::SetCaption(Control control, std::string_view text) {
    HWND handle = ControlHandle(control);
    if (handle == nullptr)
        return;
    // The time label is written on every script line and mostly keeps its text.
    const std::wstring caption = Wide(text);
    if (TextOf(handle) == caption)
        return;
    WithoutPaint(handle, [&] { ::SetWindowTextW(handle, caption.c_str()); });
    // Labels are sized to their text, and lUpdateTime keeps its right edge.
    Layout();
}

void Win32Window::ApplyVisibility(Control control) {
    const Control group[] = {Control::lUpdate, Control::ProgressBar2, Control::lTextFile,
                             Control::lFile, Control::lUpdateTime};
    for (std::size_t i = 0; i < std::size(group); ++i) {
        if (group[i] == control) {
            ::ShowWindow(ControlHandle(control),
                         m_ownVisible[i] && m_plUpVisible ? SW_SHOWNA : SW_HIDE);
            return;
        }
    }
}

void Win32Window::SetVisible(Control control, bool visible) {
    NoteStepChanged();
    const Control group[] = {Control::lUpdate, Control::ProgressBar2, Control::lTextFile,
                             Control::lFile, Control::lUpdateTime};
    if (control == Control::plUp) {
        m_plUpVisible = visible;
        for (Control member : group)
            ApplyVisibility(member);
        return;
    }
    for (std::size_t i = 0; i < std::size(group); ++i) {
        if (group[i] == control) {
            m_ownVisible[i] = visible;
            ApplyVisibility(control);
            return;
        }
    }
    if (HWND handle = ControlHandle(control))
        ::ShowWindow(handle, visible ? SW_SHOWNA : SW_HIDE);
}

void Win32Window::SetEnabled(Control control, bool enabled) {
    NoteStepChanged();
    if (HWND handle = ControlHandle(control))
        ::EnableWindow(handle, enabled ? TRUE : FALSE);
}

void Win32Window::ProgressChanged(int min, int max, int position) {
    // The bar paints itself on every new position unless it is told not to.
    WithoutPaint(m_progressBar2, [&] {
        ::SendMessageW(m_progressBar2, PBM_SETRANGE32, static_cast<WPARAM>(min),
                       static_cast<LPARAM>(max));
        ::SendMessageW(m_progressBar2, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    });
}

void Win32Window::HandlerReturned() {
    // The step's end state is on the screen before the next input is handled.
    if (m_hwnd != nullptr)
        ::RedrawWindow(m_hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

std::string Win32Window::MemoText() const {
    return Utf8(TextOf(m_memo));
}

} // namespace norvane::win32
