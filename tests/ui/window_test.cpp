#include "ui/window.h"

#include "support/recording_window.h"

#include <gtest/gtest.h>

#include <set>
#include <string_view>

namespace norvane::ui {
namespace {

using testing::RecordingWindow;

TEST(WindowProgressTest, TheRangeStaysOrderedAndThePositionInsideIt) {
    struct Step {
        const char* what;
        void (Window::*set)(int);
        int value;
        int min, max, position;
    };
    RecordingWindow window;
    for (const Step& step : {
             Step{"max", &Window::SetProgressMax, 10, 0, 10, 0},
             Step{"position", &Window::SetProgressPosition, 7, 0, 10, 7},
             Step{"past the end", &Window::SetProgressPosition, 11, 0, 10, 10},
             Step{"before the start", &Window::SetProgressPosition, -1, 0, 10, 0},
             Step{"min above max", &Window::SetProgressMin, 12, 12, 12, 12},
             Step{"max below min", &Window::SetProgressMax, 3, 3, 3, 3},
             Step{"min again", &Window::SetProgressMin, 0, 0, 3, 3},
         }) {
        (window.*step.set)(step.value);
        EXPECT_EQ(window.ProgressMin(), step.min) << step.what;
        EXPECT_EQ(window.ProgressMax(), step.max) << step.what;
        EXPECT_EQ(window.ProgressPosition(), step.position) << step.what;
        EXPECT_EQ(window.DrawnBar().position, step.position) << step.what;
    }
}

TEST(WindowProgressTest, AnAdvancingBarStopsAtItsMaximum) {
    RecordingWindow window;
    ProgressBar bar(window);
    bar.SetMin(0);
    bar.SetMax(2);
    bar.SetPosition(0);
    for (int expected : {1, 2, 2}) {
        bar.Advance();
        EXPECT_EQ(bar.Position(), expected);
    }
}

TEST(WindowLabelTest, AFileCaptionNamesTheFileAndItsPlace) {
    RecordingWindow window;
    Label label(window, Control::lFile);
    label.SetFileCaption("255.01.sql", 1, 12);
    EXPECT_EQ(window.Caption(Control::lFile), "255.01.sql (1/12)");
    label.SetVisible(true);
    EXPECT_TRUE(window.Visible(Control::lFile));
}

TEST(ControlNameTest, EveryControlHasItsOwnName) {
    std::set<std::string_view> names;
    for (Control control : {Control::plUp, Control::lCurVer, Control::lActVer, Control::lUpdate,
                            Control::ProgressBar2, Control::lTextFile, Control::lFile,
                            Control::lUpdateTime, Control::btOK, Control::btCancel})
        names.insert(ControlName(control));
    EXPECT_EQ(names.size(), 10u);
    EXPECT_EQ(ControlName(Control::ProgressBar2), "ProgressBar2");
}

} // namespace
} // namespace norvane::ui
