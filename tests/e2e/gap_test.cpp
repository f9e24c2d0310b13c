// This executable carries packages 253 and 255, but not 254.
#include "installer_fixture.h"

#include "base/exceptions.h"

#include <gtest/gtest.h>

namespace norvane::testing {
namespace {

using ui::Control;

TEST_F(InstallerTest, AGapStopsTheInstallAtTheMissingPackage) {
    StartAtVersion(252);
    EXPECT_EQ(m_window.Caption(Control::lActVer), "253 - 255");
    ASSERT_TRUE(m_window.Enabled(Control::btOK));
    try {
        m_form->btOKClick();
        FAIL() << "the missing package raised nothing";
    } catch (const EResNotFound& error) {
        EXPECT_STREQ(error.what(), "Resource 254_RAR not found");
    }
    EXPECT_EQ(DatabaseVersion(), "253");
    EXPECT_EQ(m_database.QueryCount("select count(*) from T253"), 1);
    EXPECT_EQ(m_window.MemoLines().back(), "Копіювання пакету");
    // The window stays as it was when the error struck.
    EXPECT_FALSE(m_window.Enabled(Control::btOK));
    EXPECT_TRUE(m_window.Visible(Control::btOK));
    EXPECT_EQ(m_window.Caption(Control::btCancel), "Відмінити");
    EXPECT_TRUE(m_window.Enabled(Control::btCancel));
    EXPECT_FALSE(std::filesystem::exists(WorkFile("254.rar")));
}

} // namespace
} // namespace norvane::testing
