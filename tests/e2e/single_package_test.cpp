// This executable carries package 255 alone.
#include "installer_fixture.h"

#include <filesystem>
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

TEST_F(InstallerTest, AProductWithoutItsReportFolderGetsOneWithTheTemplates) {
    namespace fs = std::filesystem;
    fs::remove(m_program.Path() / "Report");
    StartAtVersion(254);
    m_form->btOKClick();
    EXPECT_EQ(m_form->Report().install, app::RunReport::Install::Finished);
    EXPECT_EQ(m_form->Report().failedCopies, 0) << m_window.MemoText();
    EXPECT_EQ(DatabaseVersion(), "255");
    const fs::path package = fs::path(NORVANE_E2E_PACKAGES) / "255";
    for (const char* file : {"Norvanework.exe", "Report/a.fr3", "Report/B.fr3"})
        EXPECT_EQ(ReadFile(ProgramFile(file)), ReadFile(package / file)) << file;
    // Made as any program makes a folder, for the product's other users to read.
    EXPECT_EQ(fs::status(m_program.Path() / "Report").permissions() & fs::perms::others_read,
              fs::perms::others_read);
    // Only the package's own failing statement counts against the run.
    EXPECT_EQ(m_form->Report().failedStatements, 1);
}

} // namespace
} // namespace norvane::testing
