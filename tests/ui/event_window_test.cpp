#include "ui/event_window.h"

#include "base/exceptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace norvane::ui {
namespace {

// An event window that only notes what reaches the screen: errors shown and closes done.
class NotingWindow : public EventWindow {
public:
    void AddStatus(std::string_view) override {}
    void MarkStatus(std::string_view) override {}
    void SetCaption(Control, std::string_view) override {}
    void SetVisible(Control, bool) override {}
    void SetEnabled(Control, bool) override {}
    void PumpMessages() override {}
    void ShowMessageBox(std::string_view, MessageKind) override {}
    void ShowError(std::string_view text) override { errors.emplace_back(text); }
    void ShowAfterChecks() override {}
    void Close() override {
        if (!DeferClose())
            ++closes;
    }
    void PressOK() { ClickOK(); }
    void PressCancel() { ClickCancel(); }

    std::vector<std::string> errors;
    int closes = 0;

protected:
    void ProgressChanged(int, int, int) override {}
};

TEST(EventWindowTest, AnErrorEndingAHandlerIsShownWithItsText) {
    NotingWindow window;
    window.SetHandlers([] { throw EResNotFound("Resource 256_RAR not found"); }, [] { throw 42; });
    window.PressOK();
    window.PressCancel();
    EXPECT_EQ(window.errors, (std::vector<std::string>{"Resource 256_RAR not found", ""}));
}

TEST(EventWindowTest, ACloseAskedForDuringAHandlerHappensWhenItReturns) {
    NotingWindow window;
    int closesInside = -1;
    window.SetHandlers(
        [&] {
            window.PressCancel();
            window.Close();
            closesInside = window.closes;
        },
        [&] { window.Close(); });
    window.PressOK();
    EXPECT_EQ(closesInside, 0);
    EXPECT_EQ(window.closes, 1);
}

TEST(EventWindowTest, ACloseOutsideAHandlerIsDoneAtOnce) {
    NotingWindow window;
    window.SetHandlers({}, [&] { window.Close(); });
    window.PressOK(); // no handler: nothing happens
    EXPECT_EQ(window.closes, 0);
    window.PressCancel();
    EXPECT_EQ(window.closes, 1);
    EXPECT_TRUE(window.errors.empty());
}

TEST(EventWindowTest, AnErrorDoesNotLoseACloseAskedForBeforeIt) {
    NotingWindow window;
    window.SetHandlers(
        [&] {
            window.Close();
            throw EOSError("failed");
        },
        {});
    window.PressOK();
    EXPECT_EQ(window.errors, (std::vector<std::string>{"failed"}));
    EXPECT_EQ(window.closes, 1);
}

} // namespace
} // namespace norvane::ui
