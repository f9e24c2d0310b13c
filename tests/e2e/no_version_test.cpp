// This executable carries a package 255 whose scripts do not insert its version row.
#include "installer_fixture.h"

#include "frontends/console/unattended.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace norvane::testing {
namespace {

using app::RunReport;

TEST_F(InstallerTest, APackageThatDoesNotBringItsVersionStopsBeforeItsProgramFiles) {
    StartAtVersion(254);
    m_form->btOKClick();

    const auto lines = m_window.MemoLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "255.01.sql");
    EXPECT_EQ(lines.back(), "error: після пакета 255 версія бази даних 254, а не 255");
    // The scripts ran, the version did not come, and the program files stay as they were.
    EXPECT_EQ(m_database.QueryCount("select count(*) from T255"), 1);
    EXPECT_EQ(DatabaseVersion(), "254");
    EXPECT_FALSE(std::filesystem::exists(ProgramFile("Norvanework.exe")));
    EXPECT_FALSE(std::filesystem::exists(ProgramFile("Report/a.fr3")));
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Failed);
    EXPECT_EQ(console::ExitStatusFor(m_form->Report()), console::ExitStatus::Error);
    EXPECT_FALSE(m_window.Visible(ui::Control::btOK));
    EXPECT_EQ(m_window.Caption(ui::Control::btCancel), "Зачинити");
    EXPECT_TRUE(m_window.Enabled(ui::Control::btCancel));
}

} // namespace
} // namespace norvane::testing
