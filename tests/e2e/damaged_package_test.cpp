// This executable carries package 255 with a damaged member.
#include "installer_fixture.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace norvane::testing {
namespace {

using ui::Control;

TEST_F(InstallerTest, ADamagedArchiveIsNotApplied) {
    StartAtVersion(254);
    m_form->btOKClick();
    const auto lines = m_window.MemoLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Копіювання пакету");
    EXPECT_EQ(lines.back().rfind("error: пакет 255 пошкоджено: архів обрізано", 0), 0u)
        << lines.back();
    // No script ran and nothing was copied.
    EXPECT_EQ(DatabaseVersion(), "254");
    EXPECT_FALSE(std::filesystem::exists(ProgramFile("Norvanework.exe")));
    EXPECT_FALSE(m_window.Visible(Control::btOK));
    EXPECT_EQ(m_window.Caption(Control::btCancel), "Зачинити");
    EXPECT_TRUE(m_window.Enabled(Control::btCancel));
    EXPECT_EQ(m_form->Report().install, app::RunReport::Install::Failed);
}

} // namespace
} // namespace norvane::testing
