#include "update/update_log.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace norvane::update {
namespace {

TEST(UpdateLogTest, AppendsRecordsAndBlocksByteForByte) {
    testing::TempFolder folder;
    const std::string log = folder / "255.01.sql.log";
    WriteLog(log, LogEntry::PlainRecord, "DROP TABLE T\r\n");
    WriteLog(log, LogEntry::ErrorBlock, "first line\nsecond line");
    WriteLog(log, LogEntry::PlainRecord, "no line end");
    WriteLog(log, LogEntry::ErrorBlock, "\xcf\xee\xec\xe8\xeb\xea\xe0");
    const std::string separator = "------------------------- error ------------------------------";
    EXPECT_EQ(testing::ReadFile(log),
              "DROP TABLE T\r\n" + separator + "\r\nfirst line\nsecond line\r\n" + separator +
                  "\r\n\r\n"
                  "no line end" +
                  separator + "\r\n\xcf\xee\xec\xe8\xeb\xea\xe0\r\n" + separator + "\r\n\r\n");
}

TEST(UpdateLogTest, KeepsWhatTheFileAlreadyHolds) {
    testing::TempFolder folder;
    const std::string log = folder / "x.log";
    testing::WriteFile(log, "earlier\r\n");
    WriteLog(log, LogEntry::PlainRecord, "");
    WriteLog(log, LogEntry::PlainRecord, "later");
    EXPECT_EQ(testing::ReadFile(log), "earlier\r\nlater");
}

TEST(UpdateLogTest, UnwritableLogIsSkippedInSilence) {
    testing::TempFolder folder;
    EXPECT_NO_THROW(WriteLog("", LogEntry::ErrorBlock, "lost"));
    EXPECT_NO_THROW(WriteLog(folder / "missing/x.log", LogEntry::ErrorBlock, "lost"));
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "missing"));
}

} // namespace
} // namespace norvane::update
