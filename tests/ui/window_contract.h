#pragma once

// What every implementation of ui::Window does alike, run over each of them: the recording
// window of the logic tests, the console of unattended mode, the Qt window and the Win32
// window. The logic is tested against the recording window only, so it must never show
// anything the real windows would not.
//
// An implementation's test gives a probe type, default-constructible, that owns one window:
//   ui::Window& Window();
//   std::string Memo();  the memo's text as the user sees it, every line ended by CR LF.
// A window with controls (all but the console) also gives:
//   std::string Caption(ui::Control);
//   bool Shown(ui::Control);    whether the control shows when the window does
//   bool Enabled(ui::Control);
//   ShownProgress Progress();  the range and position the progress bar draws
// and instantiates the suites:
//   INSTANTIATE_TYPED_TEST_SUITE_P(Qt, WindowMemoContract, QtProbe);
//   INSTANTIATE_TYPED_TEST_SUITE_P(Qt, WindowControlContract, QtProbe);

#include "ui/window.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include <ostream>
#include <string>

namespace norvane::testing {

struct ShownProgress {
    int min = 0;
    int max = 0;
    int position = 0;
    bool operator==(const ShownProgress&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const ShownProgress& progress) {
    return out << progress.min << ".." << progress.max << "@" << progress.position;
}

template <typename Probe> class WindowMemoContract : public ::testing::Test {
protected:
    ui::Window& Window() { return m_probe.Window(); }
    std::string Memo() { return m_probe.Memo(); }

private:
    Probe m_probe;
};

TYPED_TEST_SUITE_P(WindowMemoContract);

TYPED_TEST_P(WindowMemoContract, StartsEmpty) {
    EXPECT_EQ(this->Memo(), "");
}

TYPED_TEST_P(WindowMemoContract, EachAddStatusAppendsALine) {
    this->Window().AddStatus("Підключення до бази даних");
    this->Window().AddStatus("");
    this->Window().AddStatus("Версія бази даних: 254");
    EXPECT_EQ(this->Memo(), "Підключення до бази даних\r\n\r\nВерсія бази даних: 254\r\n");
}

TYPED_TEST_P(WindowMemoContract, AMarkExtendsTheLastLineWithNothingBetween) {
    this->Window().AddStatus("Перевірка запущенної програми...");
    this->Window().MarkStatus("OK");
    EXPECT_EQ(this->Memo(), "Перевірка запущенної програми...OK\r\n");
}

TYPED_TEST_P(WindowMemoContract, MarksFollowEachOtherOnTheLastLine) {
    this->Window().AddStatus("A");
    this->Window().MarkStatus("x");
    this->Window().MarkStatus("y");
    EXPECT_EQ(this->Memo(), "Axy\r\n");
    this->Window().AddStatus("B");
    EXPECT_EQ(this->Memo(), "Axy\r\nB\r\n");
}

TYPED_TEST_P(WindowMemoContract, AMarkAfterTwoLinesExtendsOnlyTheSecond) {
    this->Window().AddStatus("254_RAR");
    this->Window().AddStatus("255_RAR");
    this->Window().MarkStatus(" [OK]");
    EXPECT_EQ(this->Memo(), "254_RAR\r\n255_RAR [OK]\r\n");
}

TYPED_TEST_P(WindowMemoContract, AMarkOnAnEmptyMemoStartsTheFirstLine) {
    this->Window().MarkStatus("OK");
    EXPECT_EQ(this->Memo(), "OK\r\n");
    this->Window().AddStatus("next");
    EXPECT_EQ(this->Memo(), "OK\r\nnext\r\n");
}

TYPED_TEST_P(WindowMemoContract, ErrorLinesAreLinesLikeAnyOther) {
    this->Window().AddStatus("Розпаковка пакету...");
    this->Window().AddError(ui::ErrorText(""));
    this->Window().MarkStatus(" (2)");
    this->Window().AddError(ui::ErrorText("помилок у скрипті: 1"));
    // A file named like an error is no error.
    this->Window().AddStatus("errata.sql");
    this->Window().AddStatus("Встановлення оновлення");
    EXPECT_EQ(this->Memo(), "Розпаковка пакету...\r\nerror (2)\r\nerror: помилок у скрипті: 1\r\n"
                            "errata.sql\r\nВстановлення оновлення\r\n");
}

REGISTER_TYPED_TEST_SUITE_P(WindowMemoContract, StartsEmpty, EachAddStatusAppendsALine,
                            AMarkExtendsTheLastLineWithNothingBetween,
                            MarksFollowEachOtherOnTheLastLine,
                            AMarkAfterTwoLinesExtendsOnlyTheSecond,
                            AMarkOnAnEmptyMemoStartsTheFirstLine, ErrorLinesAreLinesLikeAnyOther);

template <typename Probe> class WindowControlContract : public ::testing::Test {
protected:
    ui::Window& Window() { return m_probe.Window(); }
    std::string Caption(ui::Control control) { return m_probe.Caption(control); }
    bool Shown(ui::Control control) { return m_probe.Shown(control); }
    bool Enabled(ui::Control control) { return m_probe.Enabled(control); }
    ShownProgress Progress() { return m_probe.Progress(); }

    struct CaptionOf {
        ui::Control control;
        const char* caption;
    };
    void ExpectCaptions(std::initializer_list<CaptionOf> captions) {
        for (const CaptionOf& expected : captions)
            EXPECT_EQ(Caption(expected.control), expected.caption)
                << ui::ControlName(expected.control);
    }

private:
    Probe m_probe;
};

TYPED_TEST_SUITE_P(WindowControlContract);

TYPED_TEST_P(WindowControlContract, StartsInTheStateAfterCreation) {
    using ui::Control;
    this->ExpectCaptions({{Control::lCurVer, "-"},
                          {Control::lActVer, "-"},
                          {Control::lUpdate, "Встановлення оновлення"},
                          {Control::lFile, "lFile"},
                          {Control::lUpdateTime, "--:--"},
                          {Control::btOK, "Оновить"},
                          {Control::btCancel, "Зачинити"}});

    for (Control shown : {Control::ProgressBar2, Control::btOK, Control::btCancel})
        EXPECT_TRUE(this->Shown(shown)) << ui::ControlName(shown);
    for (Control hidden :
         {Control::lUpdate, Control::lTextFile, Control::lFile, Control::lUpdateTime})
        EXPECT_FALSE(this->Shown(hidden)) << ui::ControlName(hidden);

    EXPECT_FALSE(this->Enabled(Control::btOK));
    EXPECT_TRUE(this->Enabled(Control::btCancel));
    EXPECT_EQ(this->Progress(), (ShownProgress{0, 100, 0}));
}

TYPED_TEST_P(WindowControlContract, CaptionsReachTheirControls) {
    using ui::Control;
    using CaptionOf = typename TestFixture::CaptionOf;
    const std::initializer_list<CaptionOf> captions = {
        {Control::lCurVer, "254"},
        {Control::lActVer, "254 - 256"},
        {Control::lUpdate, "Підготовка оновлення"},
        {Control::lFile, "INFO_DOC.NOTE_U.ID 10.blo (1/1)"},
        {Control::lUpdateTime, "00:01:05"},
        {Control::btCancel, "Відмінити"}};
    for (const CaptionOf& caption : captions)
        this->Window().SetCaption(caption.control, caption.caption);
    this->ExpectCaptions(captions);
}

TYPED_TEST_P(WindowControlContract, HidingTheProgressPanelHidesWhatItHolds) {
    using ui::Control;
    this->Window().SetVisible(Control::lFile, true);
    EXPECT_TRUE(this->Shown(Control::lFile));

    this->Window().SetVisible(Control::plUp, false);
    EXPECT_FALSE(this->Shown(Control::lFile));
    EXPECT_FALSE(this->Shown(Control::ProgressBar2));
    // A control shown while the panel is hidden appears with the panel.
    this->Window().SetVisible(Control::lTextFile, true);
    EXPECT_FALSE(this->Shown(Control::lTextFile));

    this->Window().SetVisible(Control::plUp, true);
    for (Control shown : {Control::lFile, Control::lTextFile, Control::ProgressBar2})
        EXPECT_TRUE(this->Shown(shown)) << ui::ControlName(shown);
    EXPECT_FALSE(this->Shown(Control::lUpdate));

    this->Window().SetVisible(Control::btOK, false);
    EXPECT_FALSE(this->Shown(Control::btOK));
    EXPECT_TRUE(this->Shown(Control::btCancel));
}

TYPED_TEST_P(WindowControlContract, ButtonsAreEnabledAndDisabled) {
    using ui::Control;
    this->Window().SetEnabled(Control::btOK, true);
    this->Window().SetEnabled(Control::btCancel, false);
    EXPECT_TRUE(this->Enabled(Control::btOK));
    EXPECT_FALSE(this->Enabled(Control::btCancel));
    this->Window().SetEnabled(Control::btOK, false);
    this->Window().SetEnabled(Control::btCancel, true);
    EXPECT_FALSE(this->Enabled(Control::btOK));
    EXPECT_TRUE(this->Enabled(Control::btCancel));
}

TYPED_TEST_P(WindowControlContract, TheBarDrawsItsPositionWithinItsRange) {
    this->Window().SetProgressMax(9);
    this->Window().SetProgressPosition(3);
    EXPECT_EQ(this->Progress(), (ShownProgress{0, 9, 3}));
    this->Window().SetProgressPosition(12);
    EXPECT_EQ(this->Progress(), (ShownProgress{0, 9, 9}));
    this->Window().SetProgressMin(4);
    this->Window().SetProgressPosition(1);
    EXPECT_EQ(this->Progress(), (ShownProgress{4, 9, 4}));
}

REGISTER_TYPED_TEST_SUITE_P(WindowControlContract, StartsInTheStateAfterCreation,
                            CaptionsReachTheirControls, HidingTheProgressPanelHidesWhatItHolds,
                            ButtonsAreEnabledAndDisabled, TheBarDrawsItsPositionWithinItsRange);

} // namespace norvane::testing
