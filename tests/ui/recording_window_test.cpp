#include "support/recording_window.h"

#include "ui/window_contract.h"

namespace norvane::testing {
namespace {

struct RecordingProbe {
    ui::Window& Window() { return window; }
    std::string Memo() { return window.MemoText(); }
    std::string Caption(ui::Control control) { return window.Caption(control); }
    bool Shown(ui::Control control) { return window.Shown(control); }
    bool Enabled(ui::Control control) { return window.Enabled(control); }
    ShownProgress Progress() {
        const RecordingWindow::Bar& bar = window.DrawnBar();
        return {bar.min, bar.max, bar.position};
    }
    RecordingWindow window;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Recording, WindowMemoContract, RecordingProbe);
INSTANTIATE_TYPED_TEST_SUITE_P(Recording, WindowControlContract, RecordingProbe);

TEST(RecordingWindowTest, KeepsEveryChangeInOrder) {
    RecordingWindow window;
    window.SetCaption(ui::Control::lFile, "a.sql (1/2)");
    window.SetVisible(ui::Control::btOK, false);
    window.SetEnabled(ui::Control::btCancel, false);
    window.SetProgressMax(5);
    window.SetProgressPosition(9);
    EXPECT_EQ(window.Events(), (std::vector<std::string>{"caption lFile=a.sql (1/2)",
                                                         "visible btOK=0", "enabled btCancel=0",
                                                         "progress 0..5@0", "progress 0..5@5"}));
}

TEST(RecordingWindowTest, SplitsTheMemoIntoItsLines) {
    RecordingWindow window;
    EXPECT_TRUE(window.MemoLines().empty());
    window.AddStatus("a");
    window.AddStatus("");
    window.MarkStatus("b");
    EXPECT_EQ(window.MemoLines(), (std::vector<std::string>{"a", "b"}));
}

} // namespace
} // namespace norvane::testing
