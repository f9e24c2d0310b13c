// The native window: geometry at the design size and after a resize, its states, Esc, closing
// during a handler, the error display, and a screenshot of it on the X display.

#include "frontends/win32/win32_window.h"

#include "base/exceptions.h"
#include "platform/paths.h"
#include "png_writer.h"
#include "test_support.h"
#include "ui/window_contract.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <atomic>
#include <set>
#include <thread>

namespace norvane {
namespace {

using win32::Win32Window;

struct Box {
    int x, y, width, height;
    bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << "(" << box.x << ", " << box.y << ", " << box.width << " x " << box.height << ")";
}

struct Win32Probe {
    ui::Window& Window() { return window; }
    std::string Memo() { return window.MemoText(); }
    std::string Caption(ui::Control control) {
        return testing::ControlText(window.Child(ui::ControlName(control)));
    }
    // The control's own style: the window itself stays hidden.
    bool Shown(ui::Control control) {
        return (::GetWindowLongW(window.Child(ui::ControlName(control)), GWL_STYLE) & WS_VISIBLE) !=
               0;
    }
    bool Enabled(ui::Control control) {
        return ::IsWindowEnabled(window.Child(ui::ControlName(control))) != FALSE;
    }
    testing::ShownProgress Progress() {
        HWND bar = window.Child("ProgressBar2");
        return {static_cast<int>(::SendMessageW(bar, PBM_GETRANGE, TRUE, 0)),
                static_cast<int>(::SendMessageW(bar, PBM_GETRANGE, FALSE, 0)),
                static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0))};
    }
    Win32Window window;
};

} // namespace
} // namespace norvane

namespace norvane::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, WindowMemoContract, Win32Probe);
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, WindowControlContract, Win32Probe);
} // namespace norvane::testing

namespace norvane {
namespace {

class Win32WindowTest : public ::testing::Test {
protected:
    int S(int value) const { return ::MulDiv(value, static_cast<int>(window.Dpi()), 96); }

    // A control's place in the window's client area.
    Box Place(std::string_view name) const {
        HWND child = window.Child(name);
        EXPECT_NE(child, nullptr) << name;
        RECT rect{};
        ::GetWindowRect(child, &rect);
        ::MapWindowPoints(nullptr, window.Handle(), reinterpret_cast<POINT*>(&rect), 2);
        return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    }
    std::string Text(std::string_view name) const {
        wchar_t text[256];
        const int length = ::GetWindowTextW(window.Child(name), text, 256);
        return platform::win32::Utf8(std::wstring_view(text, static_cast<std::size_t>(length)));
    }
    // The control's own visibility; the window itself is hidden in most tests.
    bool Shown(std::string_view name) const {
        return (::GetWindowLongW(window.Child(name), GWL_STYLE) & WS_VISIBLE) != 0;
    }
    bool Enabled(std::string_view name) const { return ::IsWindowEnabled(window.Child(name)); }
    void Click(std::string_view name) {
        HWND button = window.Child(name);
        ::SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
    }
    void PressEscape() {
        ::PostMessageW(window.Child("Memo2"), WM_KEYDOWN, VK_ESCAPE, 0);
        window.PumpMessages();
    }

    Win32Window window;
};

TEST_F(Win32WindowTest, ControlsSitAtTheirDesignPlaces) {
    RECT client;
    ::GetClientRect(window.Handle(), &client);
    EXPECT_EQ(client.right, S(635));
    EXPECT_EQ(client.bottom, S(456));
    EXPECT_FALSE(::IsWindowVisible(window.Handle()));
    EXPECT_EQ(Place("Memo2"), (Box{S(46), S(22), S(564), S(219)}));
    EXPECT_EQ(Place("lCurVer"), (Box{S(144), S(262), S(191), S(13)}));
    EXPECT_EQ(Place("lActVer"), (Box{S(144), S(285), S(191), S(13)}));
    EXPECT_EQ(Place("ProgressBar2"), (Box{S(17), S(342), S(604), S(17)}));
    EXPECT_EQ(Place("btOK"), (Box{S(467), S(423), S(75), S(25)}));
    EXPECT_EQ(Place("btCancel"), (Box{S(555), S(423), S(75), S(25)}));
    const Box time = Place("lUpdateTime");
    EXPECT_EQ(time.x + time.width, S(621));
    EXPECT_EQ(time.y, S(323));
    EXPECT_EQ(Place("Label1").x, S(17));
    EXPECT_EQ(Place("lUpdate").y, S(326));
    EXPECT_EQ(Place("lFile").y, S(382));
}

TEST_F(Win32WindowTest, ResizingFollowsTheAnchors) {
    const Box memo = Place("Memo2"), bar = Place("ProgressBar2"), ok = Place("btOK"),
              cancel = Place("btCancel"), time = Place("lUpdateTime"), curVer = Place("lCurVer"),
              label = Place("Label1");
    RECT frame;
    ::GetWindowRect(window.Handle(), &frame);
    ::SetWindowPos(window.Handle(), nullptr, 0, 0, frame.right - frame.left + 100,
                   frame.bottom - frame.top + 60, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);

    EXPECT_EQ(Place("Memo2"), (Box{memo.x, memo.y, memo.width + 100, memo.height + 60}));
    EXPECT_EQ(Place("ProgressBar2"), (Box{bar.x, bar.y + 60, bar.width + 100, bar.height}));
    EXPECT_EQ(Place("btOK"), (Box{ok.x + 100, ok.y + 60, ok.width, ok.height}));
    EXPECT_EQ(Place("btCancel"), (Box{cancel.x + 100, cancel.y + 60, cancel.width, cancel.height}));
    EXPECT_EQ(Place("lUpdateTime"), (Box{time.x + 100, time.y + 60, time.width, time.height}));
    // The version labels keep their place in their panel, which moves down with the bottom.
    EXPECT_EQ(Place("lCurVer"), (Box{curVer.x, curVer.y + 60, curVer.width, curVer.height}));
    EXPECT_EQ(Place("Label1"), (Box{label.x, label.y + 60, label.width, label.height}));
}

// The state every window starts in is the contract's; these are the Win32 window's own.
TEST_F(Win32WindowTest, StartsWithItsTitleAndLabels) {
    wchar_t caption[64];
    ::GetWindowTextW(window.Handle(), caption, 64);
    EXPECT_EQ(std::wstring(caption), L"Оновлення");
    EXPECT_EQ(Text("Label1"), "Поточна версія");
    EXPECT_EQ(Text("Label2"), "Доступна версія");
    EXPECT_EQ(Text("lTextFile"), "Обробока файла:");
}

TEST_F(Win32WindowTest, TheTimeLabelKeepsItsRightEdgeAsItsTextChanges) {
    window.SetCaption(ui::Control::lUpdateTime, "12:34:56");
    const Box wide = Place("lUpdateTime");
    window.SetCaption(ui::Control::lUpdateTime, "0:05");
    const Box narrow = Place("lUpdateTime");
    EXPECT_LT(narrow.width, wide.width);
    EXPECT_EQ(wide.x + wide.width, S(621));
    EXPECT_EQ(narrow.x + narrow.width, S(621));
}

TEST_F(Win32WindowTest, EscapePressesCancelOnlyWhileItIsEnabled) {
    int ok = 0, cancel = 0;
    window.SetHandlers([&] { ++ok; }, [&] { ++cancel; });
    PressEscape();
    EXPECT_EQ(cancel, 1);
    window.SetEnabled(ui::Control::btCancel, false);
    PressEscape();
    EXPECT_EQ(cancel, 1);

    Click("btOK"); // disabled after creation
    EXPECT_EQ(ok, 0);
    window.SetEnabled(ui::Control::btOK, true);
    Click("btOK");
    EXPECT_EQ(ok, 1);
}

TEST_F(Win32WindowTest, CancelClosesTheWindow) {
    window.SetHandlers({}, [&] { window.Close(); });
    PressEscape();
    EXPECT_FALSE(window.IsOpen());
}

TEST_F(Win32WindowTest, CloseRequestedDuringAHandlerWaitsForItsEnd) {
    bool openAfterPump = false;
    window.SetHandlers(
        [&] {
            // The frame's close button and btCancel, both pressed during the install.
            ::PostMessageW(window.Handle(), WM_CLOSE, 0, 0);
            Click("btCancel");
            window.PumpMessages();
            openAfterPump = window.IsOpen();
        },
        [&] { window.Close(); });
    window.SetEnabled(ui::Control::btOK, true);
    Click("btOK");
    EXPECT_TRUE(openAfterPump);
    EXPECT_FALSE(window.IsOpen());
}

// Dismisses the first message box the thread shows, keeping its title and text.
class BoxWatcher {
public:
    explicit BoxWatcher(DWORD thread) : m_thread([this, thread] { Watch(thread); }) {}
    ~BoxWatcher() {
        m_stop = true;
        m_thread.join();
    }
    std::wstring title, text;

private:
    void Watch(DWORD thread) {
        for (int i = 0; i < 1000 && !m_stop; ++i) {
            HWND box = nullptr;
            testing::ForEachThreadWindow(thread, [&](HWND hwnd) {
                if (testing::ClassOf(hwnd) != L"#32770" || !::IsWindowVisible(hwnd))
                    return true;
                box = hwnd;
                return false;
            });
            if (box != nullptr) {
                wchar_t buffer[512];
                ::GetWindowTextW(box, buffer, 512);
                title = buffer;
                text = platform::win32::Wide(testing::MessageBoxText(box));
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            ::Sleep(10);
        }
    }
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST_F(Win32WindowTest, ErrorEscapingAHandlerIsShownAndTheWindowStays) {
    window.SetHandlers(
        [&] {
            window.SetEnabled(ui::Control::btOK, false);
            window.SetCaption(ui::Control::btCancel, "Відмінити");
            throw EResNotFound("Resource 254_RAR not found");
        },
        {});
    window.SetEnabled(ui::Control::btOK, true);
    std::wstring title, text;
    {
        BoxWatcher watcher(::GetCurrentThreadId());
        Click("btOK");
        ::Sleep(0);
        title = watcher.title;
        text = watcher.text;
    }
    EXPECT_EQ(text, L"Resource 254_RAR not found");
    EXPECT_EQ(title, L"Помилка");
    EXPECT_TRUE(window.IsOpen());
    EXPECT_EQ(Text("btCancel"), "Відмінити");
    EXPECT_FALSE(Enabled("btOK"));
}

TEST_F(Win32WindowTest, WarningBoxHasItsTitleAndText) {
    std::wstring title, text;
    {
        BoxWatcher watcher(::GetCurrentThreadId());
        window.ShowMessageBox("ПК Norvane запущена. Будь ласка, закрийте програму та "
                              "перезапустіть оновлення!",
                              ui::MessageKind::Warning);
        title = watcher.title;
        text = watcher.text;
    }
    EXPECT_EQ(title, L"Попередження");
    EXPECT_EQ(text, L"ПК Norvane запущена. Будь ласка, закрийте програму та перезапустіть "
                    L"оновлення!");
}

TEST_F(Win32WindowTest, ScreenshotOnTheDisplay) {
    for (const char* line : {"Перевірка запущенної програми...OK", "Підключення до бази даних",
                             "C:\\Norvane\\norvane.fdb", "Версія бази даних: 254",
                             "Наявні пакети оновлення:", "255_RAR [OK]"})
        window.AddStatus(line);
    window.SetCaption(ui::Control::lCurVer, "254");
    window.SetCaption(ui::Control::lActVer, "255");
    window.SetEnabled(ui::Control::btOK, true);
    window.SetProgressPosition(40);
    window.Show();
    // Drawn now, the controls included, instead of when the queue gets to it.
    ::RedrawWindow(window.Handle(), nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    // The client area as the window drew it; another test's box on the shared display
    // cannot end up in the picture.
    RECT rect;
    ::GetClientRect(window.Handle(), &rect);
    const int width = rect.right, height = rect.bottom;
    HDC source = ::GetDC(window.Handle());
    HDC memory = ::CreateCompatibleDC(source);
    HBITMAP bitmap = ::CreateCompatibleBitmap(source, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    ::SelectObject(memory, old);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<std::uint8_t> bgra(static_cast<std::size_t>(width) * height * 4);
    ::GetDIBits(memory, bitmap, 0, height, bgra.data(), &info, DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(window.Handle(), source);

    std::vector<std::uint8_t> rgb;
    std::set<std::uint32_t> colours;
    for (std::size_t i = 0; i < bgra.size(); i += 4) {
        rgb.insert(rgb.end(), {bgra[i + 2], bgra[i + 1], bgra[i]});
        colours.insert(static_cast<std::uint32_t>(bgra[i + 2] << 16 | bgra[i + 1] << 8 | bgra[i]));
    }
    // Text, the memo's tooltip colour, the button face and the bar: far from a blank capture.
    EXPECT_GT(colours.size(), 8u);
    const COLORREF infoColour = ::GetSysColor(COLOR_INFOBK);
    EXPECT_EQ(colours.count(static_cast<std::uint32_t>(GetRValue(infoColour) << 16 |
                                                       GetGValue(infoColour) << 8 |
                                                       GetBValue(infoColour))),
              1u);

    wchar_t folder[MAX_PATH];
    std::wstring target = ::GetEnvironmentVariableW(L"NORVANE_ARTIFACTS_DIR", folder, MAX_PATH)
                              ? std::wstring(folder)
                              : platform::win32::Wide(testing::TestProgramFolder());
    ::CreateDirectoryW(target.c_str(), nullptr);
    target += L"\\win32-window.png";
    EXPECT_TRUE(testing::WritePng(target, width, height, rgb));
    std::cout << "screenshot: " << platform::win32::Utf8(target) << "\n";
}

} // namespace
} // namespace norvane
