#include "app/configuration.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace norvane::app {
namespace {

using testing::TempFolder;
using testing::WriteFile;

TEST(IniIntegerValue, ReadsDecimalAndPrefixedHexadecimal) {
    struct Case {
        std::string_view text;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"0x10", 16},       {"0X1f", 31},
        {"1", 1},           {"-3", -3},
        {"abc", 0},         {"", 0},
        {"0x", 0},          {"0xg", 0},
        {"10x", 0},         {"0x7FFFFFFF", INT32_MAX},
        {"0xFFFFFFFF", -1}, {"0x123456789", 0},
        {"99999999999", 0}, {"1.0", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IniIntegerValue(c.text, 0), c.expected) << c.text;
    EXPECT_EQ(IniIntegerValue("abc", 7), 7);
}

class ConfigurationTest : public ::testing::Test {
protected:
    ProcessValues Read(std::string_view ini) {
        WriteFile(m_folder.Path() / "nrv.ini", ini);
        return ReadFromFolder();
    }
    ProcessValues ReadFromFolder() {
        ProcessValues values;
        values.ExeDir = m_folder.Str();
        values.IniPath = m_folder / "nrv.ini";
        ReadConfiguration(values);
        return values;
    }
    TempFolder m_folder;
};

TEST_F(ConfigurationTest, MissingFileGivesTheLocalDefaultDatabase) {
    const auto values = ReadFromFolder();
    EXPECT_EQ(values.PathBaseIB, m_folder / "norvane.fdb");
    EXPECT_EQ(values.NameServer, "");
    EXPECT_EQ(values.TypeServer, 0);
}

TEST_F(ConfigurationTest, ReadsTheCommonSection) {
    const auto values = Read("[Other]\r\nPathBaseIB=/wrong.fdb\r\n"
                             "[Common]\r\nPathBaseIB=/data/norvane.fdb\r\n"
                             "NameServer=dbhost\r\nTypeServer=0x10\r\n");
    EXPECT_EQ(values.PathBaseIB, "/data/norvane.fdb");
    EXPECT_EQ(values.NameServer, "dbhost");
    EXPECT_EQ(values.TypeServer, 16);
}

TEST_F(ConfigurationTest, EmptyPathIsReplacedLikeAMissingOne) {
    const auto values = Read("[Common]\nPathBaseIB=\nTypeServer=abc\n");
    EXPECT_EQ(values.PathBaseIB, m_folder / "norvane.fdb");
    EXPECT_EQ(values.TypeServer, 0);
}

TEST_F(ConfigurationTest, NamesIgnoreCaseAndValuesLoseBlanksAndOneQuotePair) {
    const auto values = Read("  [ common ]  \n  pathbaseib  =  \" /q/x.fdb \"  \n"
                             "NAMESERVER = ''srv''\ntypeserver= 1 \n");
    EXPECT_EQ(values.PathBaseIB, " /q/x.fdb ");
    EXPECT_EQ(values.NameServer, "'srv'");
    EXPECT_EQ(values.TypeServer, 1);
}

TEST_F(ConfigurationTest, QuotesThatDoNotPairStay) {
    const auto values = Read("[Common]\nPathBaseIB=\"/x.fdb\nNameServer='a\"\n");
    EXPECT_EQ(values.PathBaseIB, "\"/x.fdb");
    EXPECT_EQ(values.NameServer, "'a\"");
}

TEST_F(ConfigurationTest, CommentsAndKeysWithoutValuesAreIgnored) {
    const auto values = Read("[Common]\n;PathBaseIB=/commented.fdb\nNameServer\n"
                             "PathBaseIB=/real.fdb\nPathBaseIB=/second.fdb\n");
    EXPECT_EQ(values.PathBaseIB, "/real.fdb");
    EXPECT_EQ(values.NameServer, "");
}

TEST_F(ConfigurationTest, TheInstallersOwnSettingsAreInTheUpdateSection) {
    const auto values = Read("[Common]\nBackupFolder=/wrong\n"
                             "[Update]\nBackupFolder = \"D:\\Резервні копії\" \n"
                             "OneTransactionPerStatement=1\n");
    EXPECT_EQ(values.BackupFolder, "D:\\Резервні копії");
    EXPECT_TRUE(values.OneTransactionPerStatement);
    const auto none = Read("[Common]\nPathBaseIB=/x.fdb\n");
    EXPECT_EQ(none.BackupFolder, "");
    EXPECT_FALSE(none.OneTransactionPerStatement);
    EXPECT_FALSE(none.Rehearsal);
    EXPECT_EQ(none.LockWaitSeconds, 300);
}

TEST_F(ConfigurationTest, TheLockWaitIsSecondsAndWhatIsNoneKeepsTheDefault) {
    const std::vector<std::pair<std::string, std::int32_t>> cases{
        {"LockWaitSeconds=45", 45},  {"LockWaitSeconds=0", 0},      {"LockWaitSeconds=0x10", 16},
        {"LockWaitSeconds=-5", 300}, {"LockWaitSeconds=soon", 300}, {"LockWaitSeconds=", 300},
    };
    for (const auto& [line, seconds] : cases) {
        SCOPED_TRACE(line);
        EXPECT_EQ(Read("[Update]\n" + line + "\n").LockWaitSeconds, seconds);
    }
    EXPECT_EQ(Read("[Common]\nLockWaitSeconds=45\n").LockWaitSeconds, 300);
}

} // namespace
} // namespace norvane::app
