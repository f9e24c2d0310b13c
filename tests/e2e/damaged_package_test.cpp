// This executable carries packages damaged after they were made, each with the digest of its
// damaged bytes, so that only the checks of the archive itself can find them: 255 cut at a
// member boundary, 256 cut inside a member, 257 with a byte of a stored script changed.
#include "installer_fixture.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace norvane::testing {
namespace {

using ui::Control;

struct Damage {
    const char* name;
    int package;
    const char* lastLineStart;
};

void PrintTo(const Damage& damage, std::ostream* out) {
    *out << damage.name;
}

class DamagedPackageTest : public InstallerTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedPackageTest, IsRefusedBeforeTheDatabaseIsTouched) {
    const Damage& damage = GetParam();
    StartAtVersion(damage.package - 1);
    ASSERT_TRUE(m_window.Enabled(Control::btOK)) << m_window.MemoText();
    m_form->btOKClick();
    const auto lines = m_window.MemoLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back().starts_with(damage.lastLineStart)) << lines.back();
    EXPECT_EQ(m_window.ErrorLines(), (std::vector<std::string>{lines.back()}));
    // No script ran and nothing was copied.
    EXPECT_EQ(DatabaseVersion(), std::to_string(damage.package - 1));
    EXPECT_EQ(m_database.QueryCount("select count(*) from rdb$relations where "
                                    "rdb$relation_name in ('LOAD_ROWS', 'NOKEY')"),
              0);
    EXPECT_FALSE(std::filesystem::exists(ProgramFile("Norvanework.exe")));
    EXPECT_FALSE(m_window.Visible(Control::btOK));
    EXPECT_EQ(m_window.Caption(Control::btCancel), "Зачинити");
    EXPECT_EQ(m_form->Report().install, app::RunReport::Install::Failed);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DamagedPackageTest,
    ::testing::Values(
        Damage{"CutAtAMemberBoundary", 255,
               "error: пакет 255 пошкоджено: архів обрізано: немає блоку кінця архіву"},
        Damage{"CutInsideAMember", 256,
               "error: пакет 256 пошкоджено: архів обрізано посеред даних файлу"},
        Damage{"AByteOfAStoredScriptChanged", 257,
               "error: пакет 257 пошкоджено: файл up\\255.01.sql: контрольна сума CRC-32 не "
               "збігається"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norvane::testing
