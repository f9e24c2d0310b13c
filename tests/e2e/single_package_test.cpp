// This executable carries package 255 alone.
#include "installer_fixture.h"

#include <gtest/gtest.h>

namespace norvane::testing {
namespace {

using ui::Control;

TEST_F(InstallerTest, A254DatabaseTakesTheSinglePackage) {
    StartAtVersion(254);
    EXPECT_EQ(m_window.Caption(Control::lActVer), "255");
    EXPECT_EQ(m_window.MemoLines().back(), "255_RAR [OK]");
    ASSERT_TRUE(m_window.Enabled(Control::btOK));
    m_form->btOKClick();
    EXPECT_EQ(DatabaseVersion(), "255");
    EXPECT_EQ(ReadFile(ProgramFile("Norvanework.exe")), "Program 255\r\n");
    EXPECT_FALSE(m_window.Visible(Control::btOK));
}

TEST_F(InstallerTest, TemplatesFailWithoutAReportFolderAndTheRunGoesOn) {
    std::filesystem::remove(m_program.Path() / "Report");
    StartAtVersion(254);
    m_form->btOKClick();
    const auto lines = m_window.MemoLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[lines.size() - 4], "a.fr3...");
    EXPECT_EQ(lines[lines.size() - 3].rfind("error (2) ", 0), 0u) << lines[lines.size() - 3];
    EXPECT_EQ(lines[lines.size() - 2], "B.fr3...");
    EXPECT_EQ(lines.back().rfind("error (2) ", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(m_program.Path() / "Report"));
    EXPECT_EQ(m_form->Report().failedCopies, 2);
    EXPECT_EQ(DatabaseVersion(), "255");
}

} // namespace
} // namespace norvane::testing
