#include "update/update_folder_runner.h"

#include "base/exceptions.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/paths.h"
#include "support/expect_throw.h"
#include "update_fixture.h"

#include <algorithm>
#include <filesystem>

namespace norvane::update {
namespace {

namespace fs = std::filesystem;

TEST(DoneNameTest, ReplacesTheLastThreeCharacters) {
    EXPECT_EQ(DoneName("/w/up/255.01.sql", "~sql"), "/w/up/255.01.~sql");
    EXPECT_EQ(DoneName("/w/up/X.SQL", "~sql"), "/w/up/X.~sql");
    EXPECT_EQ(DoneName("/w/up/T.F.K 1.BLO", "~blo"), "/w/up/T.F.K 1.~blo");
}

class UpdateFolderRunnerTest : public UpdateFixture {
protected:
    UpdateFolderRunnerTest()
        : bar(window), fileLabel(window, ui::Control::lFile),
          timeLabel(window, ui::Control::lUpdateTime) {
        database.Execute("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, B BLOB);"
                         "CREATE TABLE SEQ (N INTEGER NOT NULL, WHAT VARCHAR(40));");
    }

    std::string Up(const std::string& name) const { return JoinPath(folder / "up", name); }
    std::string WriteUp(const std::string& name, std::string_view bytes) {
        return Write("up/" + name, bytes);
    }

    UpdateFolderOutcome Run() { return RunUpdateFolder(Context(), folder.Str()); }

    std::vector<std::string> EventsStartingWith(std::string_view prefix) const {
        std::vector<std::string> found;
        for (const std::string& event : window.Events()) {
            if (event.starts_with(prefix))
                found.push_back(event);
        }
        return found;
    }

    std::vector<std::string> SeqOrder() {
        std::vector<std::string> order;
        const auto count = database.QueryCount("select count(*) from SEQ");
        for (std::int64_t n = 1; n <= count; ++n)
            order.push_back(
                database.QueryString("select WHAT from SEQ where N = " + std::to_string(n))
                    .value_or("?"));
        return order;
    }

    ui::ProgressBar bar;
    ui::Label fileLabel;
    ui::Label timeLabel;
};

// Each script records itself with its place in the run.
std::string SeqScript(std::string_view what) {
    return "INSERT INTO SEQ SELECT COUNT(*) + 1, '" + std::string(what) + "' FROM SEQ;\r\n";
}

TEST_F(UpdateFolderRunnerTest, RunsScriptsThenBlobsInNameOrderAndMovesThemToDoneNames) {
    database.Execute("INSERT INTO T (ID) VALUES (7); INSERT INTO T (ID) VALUES (10);"
                     "INSERT INTO T (ID) VALUES (1042);");
    WriteUp("255.10.sql", SeqScript("255.10"));
    WriteUp("255.02.sql", SeqScript("255.02") + "SELECT 1\r\nFROM RDB$DATABASE;\r\n");
    WriteUp("X.SQL", SeqScript("X"));
    WriteUp("T.B.ID 7.blo", "seven");
    WriteUp("T.B.ID 10.blo", "ten");
    WriteUp("T.B.ID 1042.blo", "1042");
    WriteUp("notes.txt", "not a script");

    const UpdateFolderOutcome outcome = Run();
    EXPECT_EQ(outcome.failedStatements, 0);
    EXPECT_EQ(outcome.failedBlobs, 0);
    EXPECT_EQ(SeqOrder(), (std::vector<std::string>{"255.02", "255.10", "X"}));
    EXPECT_EQ(window.MemoLines(), (std::vector<std::string>{"255.02.sql", "255.10.sql", "X.SQL"}));
    EXPECT_EQ(database.QueryBlob("select B from T where ID = 10"), "ten");
    EXPECT_EQ(database.QueryBlob("select B from T where ID = 1042"), "1042");
    EXPECT_EQ(database.QueryBlob("select B from T where ID = 7"), "seven");

    // The file label counts within each phase; blob files in text order: 10, 1042, 7.
    EXPECT_EQ(EventsStartingWith("caption lFile="),
              (std::vector<std::string>{
                  "caption lFile=255.02.sql (1/3)", "caption lFile=255.10.sql (2/3)",
                  "caption lFile=X.SQL (3/3)", "caption lFile=T.B.ID 10.blo (1/3)",
                  "caption lFile=T.B.ID 1042.blo (2/3)", "caption lFile=T.B.ID 7.blo (3/3)"}));

    for (const char* done : {"255.02.~sql", "255.10.~sql", "X.~sql", "T.B.ID 7.~blo",
                             "T.B.ID 10.~blo", "T.B.ID 1042.~blo", "notes.txt"})
        EXPECT_TRUE(fs::exists(Up(done))) << done;
    for (const char* gone : {"255.02.sql", "255.10.sql", "X.SQL", "T.B.ID 7.blo"})
        EXPECT_FALSE(fs::exists(Up(gone))) << gone;
    EXPECT_EQ(outcome.lastScriptLog, Up("X.SQL") + ".log");
}

TEST_F(UpdateFolderRunnerTest, SizesTheBarFromAllScriptLinesBeforeRunningAny) {
    WriteUp("a.sql", SeqScript("a") + "SET NAMES WIN1251;\r\n\r\n"); // 3 lines
    WriteUp("b.sql", SeqScript("b"));                                // 1 line
    WriteUp("T.B.ID 1.blo", "");
    database.Execute("INSERT INTO T (ID) VALUES (1);");
    bar.SetMax(1000);
    bar.SetPosition(500);
    const std::size_t before = window.Events().size();
    Run();

    const std::vector<std::string> events(window.Events().begin() + before, window.Events().end());
    // Position 0, maximum 4 from both scripts, all before the first file is named.
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0], "progress 0..1000@0");
    EXPECT_EQ(events[1], "progress 0..4@0");
    EXPECT_EQ(events[2], "visible lUpdateTime=1");
    EXPECT_EQ(events[3], "caption lFile=a.sql (1/2)");
    EXPECT_EQ(bar.Max(), 4);
    EXPECT_EQ(bar.Position(), 4);
    EXPECT_TRUE(std::find(events.begin(), events.end(), "visible lUpdateTime=0") != events.end());
    EXPECT_FALSE(window.Visible(ui::Control::lUpdateTime));
    // A pump per line, per script and per blob file.
    EXPECT_EQ(window.PumpCount(), 4 + 2 + 1);
}

TEST_F(UpdateFolderRunnerTest, ScriptWithANulByteCountsNoLinesRunsNothingAndIsReported) {
    using namespace std::string_literals;
    WriteUp("a.sql", SeqScript("a") + "SET NAMES WIN1251;\r\n"); // 2 lines
    WriteUp("b.sql", SeqScript("b") + "\0"s);
    const UpdateFolderOutcome outcome = Run();
    EXPECT_EQ(outcome.failedStatements, 1);
    EXPECT_EQ(bar.Max(), 2);
    EXPECT_EQ(SeqOrder(), (std::vector<std::string>{"a"}));
    const std::string log = Up("b.sql") + ".log";
    EXPECT_EQ(window.MemoLines(),
              (std::vector<std::string>{"a.sql", "b.sql",
                                        "error: помилок у скрипті: 1, журнал: " + log}));
    EXPECT_EQ(testing::ReadFile(log), LogEntryBytes("", "NUL byte at line 2: script not run"));
    EXPECT_TRUE(fs::exists(Up("b.~sql")));
    // A pump per line of a.sql and one per script.
    EXPECT_EQ(window.PumpCount(), 2 + 2);
}

TEST_F(UpdateFolderRunnerTest, WithOnlyBlobFilesTheBarStaysEmpty) {
    database.Execute("INSERT INTO T (ID) VALUES (1);");
    WriteUp("T.B.ID 1.blo", "x");
    Run();
    EXPECT_EQ(bar.Max(), 0);
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_TRUE(EventsStartingWith("caption lUpdateTime").empty());
    EXPECT_FALSE(window.Visible(ui::Control::lUpdateTime));
    EXPECT_TRUE(window.MemoText().empty());
}

TEST_F(UpdateFolderRunnerTest, FolderWithoutUpRunsNothing) {
    const UpdateFolderOutcome outcome = Run();
    EXPECT_EQ(outcome.failedStatements + outcome.failedBlobs, 0);
    EXPECT_EQ(bar.Max(), 0);
    EXPECT_TRUE(EventsStartingWith("caption lFile").empty());
    EXPECT_EQ(window.PumpCount(), 0);
}

TEST_F(UpdateFolderRunnerTest, SecondRunOnTheSameFolderRunsOnlyNewFiles) {
    WriteUp("255.01.sql", SeqScript("first"));
    Run();
    const std::string memo = window.MemoText();
    Run();
    EXPECT_EQ(window.MemoText(), memo);
    EXPECT_EQ(SeqOrder(), (std::vector<std::string>{"first"}));

    WriteUp("256.01.sql", SeqScript("next"));
    Run();
    EXPECT_EQ(SeqOrder(), (std::vector<std::string>{"first", "next"}));
}

TEST_F(UpdateFolderRunnerTest, DoneNameOfAnEarlierRunIsReplaced) {
    WriteUp("255.01.~sql", "old");
    const std::string script = SeqScript("new");
    WriteUp("255.01.sql", script);
    Run();
    EXPECT_EQ(testing::ReadFile(Up("255.01.~sql")), script);
    EXPECT_FALSE(fs::exists(Up("255.01.sql")));
}

TEST_F(UpdateFolderRunnerTest, FailuresAreCountedShownAndTheFilesMovedAllTheSame) {
    WriteUp("255.01.sql", "DROP TABLE NO_SUCH;\r\nDROP TABLE NO_SUCH_EITHER;\r\n");
    WriteUp("255.02.sql", SeqScript("fine"));
    WriteUp("NO.B.ID 1.blo", "x");
    WriteUp("T.NO.ID 1.blo", "x");
    const UpdateFolderOutcome outcome = Run();
    EXPECT_EQ(outcome.failedStatements, 2);
    EXPECT_EQ(outcome.failedBlobs, 2);
    const std::string firstLog = Up("255.01.sql") + ".log";
    const std::string lastLog = Up("255.02.sql") + ".log";
    EXPECT_EQ(window.MemoLines(),
              (std::vector<std::string>{
                  "255.01.sql", "error: помилок у скрипті: 2, журнал: " + firstLog, "255.02.sql",
                  "error: помилок завантаження: 2, журнал: " + lastLog}));
    // The blob failures went to the log of the last script with lines, which had none of its own.
    const std::string blobLog = testing::ReadFile(lastLog);
    EXPECT_TRUE(blobLog.starts_with("update NO set B = :B where (ID=1)\r\n\n")) << blobLog;
    EXPECT_NE(blobLog.find("update T set NO = :NO where (ID=1)\r\n\n"), std::string::npos);
    EXPECT_TRUE(fs::exists(firstLog));
    for (const char* done : {"255.01.~sql", "255.02.~sql", "NO.B.ID 1.~blo", "T.NO.ID 1.~blo"})
        EXPECT_TRUE(fs::exists(Up(done))) << done;
}

TEST_F(UpdateFolderRunnerTest, BlobFailuresBeforeAnyScriptGoBesideEachBlobFile) {
    WriteUp("NO.B.ID 1.blo", "x");
    WriteUp("NO.B.ID 2.blo", "x");
    Run();
    EXPECT_EQ(
        window.MemoLines(),
        (std::vector<std::string>{"error: помилок завантаження: 2, журнал: " + Up("NO.B.ID 1.blo") +
                                  ".log, " + Up("NO.B.ID 2.blo") + ".log"}));
    EXPECT_TRUE(fs::exists(Up("NO.B.ID 1.blo.log")));
    EXPECT_TRUE(fs::exists(Up("NO.B.ID 2.blo.log")));
}

// An interruption among the blob files commits those loaded, then stops: the rest stay as they
// came, for the next run.
TEST_F(UpdateFolderRunnerTest, AnInterruptionAmongBlobFilesKeepsThoseLoaded) {
    platform::InterruptGuard guard;
    database.Execute("INSERT INTO T (ID) VALUES (1); INSERT INTO T (ID) VALUES (2);");
    WriteUp("T.B.ID 1.blo", "one");
    WriteUp("T.B.ID 2.blo", "two");
    window.OnPump = [&] {
        if (fs::exists(Up("T.B.ID 1.~blo")))
            platform::RequestInterrupt();
    };
    EXPECT_THROW_MSG(Run(), EUpdateAborted, "оновлення перервано");
    window.OnPump = nullptr;
    platform::ClearInterrupt();
    EXPECT_EQ(database.QueryBlob("select B from T where ID = 1"), "one");
    EXPECT_EQ(database.QueryCount("select count(*) from T where ID = 2 and B is null"), 1);
    EXPECT_TRUE(fs::exists(Up("T.B.ID 2.blo")));
    EXPECT_FALSE(globDB->Transaction().Active());
}

// Logs of failing scripts are kept beyond the work folder's next clean-up, a folder a package.
class KeptLogsTest : public UpdateFolderRunnerTest {
protected:
    KeptLogsTest() {
        Context().KeptLogsFolder = kept;
        Context().Package = 255;
        WriteUp("255.01.sql", "DROP TABLE NO_SUCH;\r\n");
        WriteUp("255.02.sql", SeqScript("fine"));
    }

    const std::string kept = JoinPath(folder.Str(), "kept");
    const std::string keptLog = JoinPath(JoinPath(kept, "255"), "255.01.sql.log");
};

TEST_F(KeptLogsTest, TheLogOfAFailingScriptIsCopiedIntoItsPackagesFolder) {
    const UpdateFolderOutcome outcome = Run();
    ASSERT_EQ(outcome.scripts.size(), 2u);
    EXPECT_EQ(outcome.scripts[0].log, keptLog);
    EXPECT_EQ(testing::ReadFile(keptLog), testing::ReadFile(Up("255.01.sql") + ".log"));
    // A script without failures has no log to keep.
    EXPECT_EQ(outcome.scripts[1].log, "");
    EXPECT_FALSE(fs::exists(JoinPath(JoinPath(kept, "255"), "255.02.sql.log")));
    EXPECT_EQ(outcome.failedLogs, 0);
}

TEST_F(KeptLogsTest, ALogThatCannotBeKeptIsShownCountedAndNamedWhereItIs) {
    // A file where the package's folder should be: neither the folder nor the copy can be made.
    fs::create_directories(kept);
    testing::WriteFile(JoinPath(kept, "255"), "not a folder");
    const UpdateFolderOutcome outcome = Run();
    EXPECT_EQ(outcome.failedLogs, 1);
    ASSERT_EQ(outcome.scripts.size(), 2u);
    const std::string log = Up("255.01.sql") + ".log";
    EXPECT_EQ(outcome.scripts[0].log, log);
    const std::string said = "error: не вдалося зберегти журнал " + log + " у " + keptLog + ": ";
    const std::vector<std::string>& errors = window.ErrorLines();
    EXPECT_EQ(std::count_if(errors.begin(), errors.end(),
                            [&](const std::string& line) { return line.starts_with(said); }),
              1)
        << window.MemoText();
    // The run went on: the next script ran.
    EXPECT_EQ(SeqOrder(), std::vector<std::string>{"fine"});
    EXPECT_EQ(testing::ReadFile(JoinPath(kept, "255")), "not a folder");
}

// A folder where a script should be: Linux opens it and cannot read it, Windows cannot open it
// (access denied).
std::string FolderAsFileMessage(const std::string& path) {
    if (platform::NativePathRules().separator == '/')
        return "Stream read error";
    return "Cannot open file \"" + path + "\". " + platform::SystemErrorText(5);
}

TEST_F(UpdateFolderRunnerTest, UnreadableScriptStopsTheRunBeforeAnyScriptRuns) {
    WriteUp("255.01.sql", SeqScript("before"));
    fs::create_directories(Up("255.02.sql"));
    WriteUp("255.03.sql", SeqScript("after"));
    WriteUp("T.B.ID 1.blo", "x");
    EXPECT_THROW_MSG(Run(), EStreamError, FolderAsFileMessage(Up("255.02.sql")));
    EXPECT_EQ(database.QueryCount("select count(*) from SEQ"), 0);
    EXPECT_TRUE(fs::exists(Up("255.01.sql")));
    EXPECT_TRUE(fs::is_directory(Up("255.02.sql")));
    EXPECT_TRUE(fs::exists(Up("255.03.sql")));
    EXPECT_TRUE(fs::exists(Up("T.B.ID 1.blo")));
}

TEST_F(UpdateFolderRunnerTest, UnreadableScriptFoundWhileCountingRunsNothing) {
    WriteUp("255.01.sql", SeqScript("before"));
    std::error_code linkError;
    fs::create_symlink(Up("nowhere"), Up("255.02.sql"), linkError);
    if (linkError)
        GTEST_SKIP() << "no symbolic links here: " << linkError.message();
    EXPECT_THROW_MSG(Run(), EFOpenError, testing::MissingFileMessage(Up("255.02.sql")));
    EXPECT_EQ(database.QueryCount("select count(*) from SEQ"), 0);
    EXPECT_TRUE(fs::exists(Up("255.01.sql")));
    EXPECT_TRUE(window.MemoText().empty());
}

} // namespace
} // namespace norvane::update
