#include "platform/profile.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace norvane::platform {
namespace {

using testing::WriteFile;

class ProfileTest : public ::testing::Test {
protected:
    std::string Read(std::string_view ini, std::string_view section, std::string_view key) {
        WriteFile(m_folder.Path() / "nrv.ini", ini);
        return ReadProfileString(m_folder / "nrv.ini", section, key, "default");
    }
    testing::TempFolder m_folder;
};

TEST_F(ProfileTest, LongValuesAreCutToTheReaderBuffer) {
    const std::string longPath = "/" + std::string(3000, 'p');
    WriteFile(m_folder.Path() / "nrv.ini", "[Common]\nPathBaseIB=" + longPath + "\n");
    const auto value = ReadProfileString(m_folder / "nrv.ini", "Common", "PathBaseIB", "");
    EXPECT_EQ(value, longPath.substr(0, 2047));
}

TEST_F(ProfileTest, MissingKeyOrSectionGivesTheDefault) {
    WriteFile(m_folder.Path() / "nrv.ini", "[Common]\nA=1\n");
    EXPECT_EQ(ReadProfileString(m_folder / "nrv.ini", "Common", "B", "dflt"), "dflt");
    EXPECT_EQ(ReadProfileString(m_folder / "nrv.ini", "Nope", "A", "dflt"), "dflt");
    EXPECT_EQ(ReadProfileString(m_folder / "missing.ini", "Common", "A", "d"), "d");
}

TEST_F(ProfileTest, OnlyTheFirstSectionOfANameIsRead) {
    const std::string ini = "[Common]\r\nPathBaseIB=/first.fdb\r\n"
                            "[Other]\r\nNameServer=other\r\n"
                            "[COMMON]\r\nPathBaseIB=/second.fdb\r\nNameServer=second\r\n";
    EXPECT_EQ(Read(ini, "Common", "PathBaseIB"), "/first.fdb");
    EXPECT_EQ(Read(ini, "Common", "NameServer"), "default");
    EXPECT_EQ(Read(ini, "Other", "NameServer"), "other");
}

TEST_F(ProfileTest, AUtf8ByteOrderMarkBeforeTheFirstSectionIsDropped) {
    const std::string ini = "\xEF\xBB\xBF[Common]\r\nPathBaseIB=/data/нова.fdb\r\n";
    EXPECT_EQ(Read(ini, "Common", "PathBaseIB"), "/data/нова.fdb");
    // A mark anywhere else is part of the text it stands in.
    EXPECT_EQ(Read("[Common]\r\n\xEF\xBB\xBFPathBaseIB=/x.fdb\r\n", "Common", "PathBaseIB"),
              "default");
}

TEST_F(ProfileTest, ASectionWithoutItsClosingBracketStillNamesIt) {
    EXPECT_EQ(Read("[Common\nPathBaseIB=/x.fdb\n", "Common", "PathBaseIB"), "/x.fdb");
}

} // namespace
} // namespace norvane::platform
