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

TEST_F(InstallerTest, TemplatesWithoutAReportFolderStopTheInstallBeforeTheDatabase) {
    std::filesystem::remove(m_program.Path() / "Report");
    StartAtVersion(254);
    m_form->btOKClick();
    const auto lines = m_window.MemoLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Розпаковка пакету...[OK]");
    EXPECT_EQ(lines.back(), "error: каталог " + m_program / "Report" +
                                " недоступний для запису: No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(m_program.Path() / "Report"));
    EXPECT_FALSE(std::filesystem::exists(m_program.Path() / "Norvanework.exe"));
    EXPECT_EQ(m_form->Report().install, app::RunReport::Install::Failed);
    EXPECT_EQ(DatabaseVersion(), "254");
}

} // namespace
} // namespace norvane::testing
