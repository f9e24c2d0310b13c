#include "app/database_backup.h"

#include "app/service_progress.h"
#include "base/exceptions.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "support/expect_throw.h"
#include "support/recording_window.h"
#include "support/scratch_mount.h"
#include "support/temp_folder.h"
#include "support/test_database.h"
#include "support/test_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace norvane::app {
namespace {

using testing::RecordingWindow;
using testing::ScratchMount;
using testing::TempFolder;
using testing::TestDatabase;
using ui::Control;

const db::ConnectionParams Account{"sysdba", "quillbark"};

TEST(BackupPlaces, AreNamedOnTheMachineThatServesTheDatabase) {
    struct Join {
        const char* folder;
        const char* expected;
    };
    for (const Join& c :
         {Join{"/srv/backups", "/srv/backups/n.fbk"}, Join{"/srv/backups/", "/srv/backups/n.fbk"},
          Join{"D:\\Резервні копії", "D:\\Резервні копії\\n.fbk"}, Join{"D:\\", "D:\\n.fbk"},
          Join{"backups", "backups/n.fbk"}})
        EXPECT_EQ(JoinServerPath(c.folder, "n.fbk"), c.expected) << c.folder;

    struct Folder {
        const char* databaseName;
        const char* expected;
    };
    for (const Folder& c :
         {Folder{"/data/norvane.fdb", "/data"},
          Folder{"127.0.0.1/3064:/data/x/norvane.fdb", "/data/x"},
          Folder{"server:C:\\Дані\\norvane.fdb", "C:\\Дані"}, Folder{"/norvane.fdb", "/"},
          Folder{"C:\\norvane.fdb", "C:\\"}, Folder{"server:norvane", ""}})
        EXPECT_EQ(ServerFolderOf(c.databaseName), c.expected) << c.databaseName;

    EXPECT_EQ(RehearsalCopyPath("/d/norvane-254-20240307T090501.fbk"),
              "/d/norvane-254-20240307T090501.rehearsal.fdb");
    EXPECT_EQ(RehearsalCopyPath("C:\\d\\x"), "C:\\d\\x.rehearsal.fdb");
}

TEST(BackupPlaces, OnlyALoopbackServerIsThisMachine) {
    struct Case {
        const char* server;
        bool local;
    };
    for (const Case& c :
         {Case{"localhost", true}, Case{"LocalHost/3050", true}, Case{"127.0.0.1", true},
          Case{"127.0.0.1/3064", true}, Case{"[::1]/3050", true}, Case{"::1", true},
          Case{"dbhost", false}, Case{"localhost.example.org", false}, Case{"10.0.0.127", false},
          Case{"192.168.1.5/3050", false}})
        EXPECT_EQ(IsThisMachine(c.server), c.local) << c.server;
}

TEST(BackupTime, IsReadFromTheLocalTimeText) {
    const db::BackupTime time = BackupTimeOf("2024-03-07 09:05:01");
    EXPECT_EQ(db::BackupFileName("/d/x.fdb", 254, time), "x-254-20240307T090501.fbk");
    EXPECT_EQ(BackupTimeOf("yesterday").Year, 0);
    EXPECT_GT(LocalBackupTime().Year, 2000);
}

class RehearsalFilesTest : public ::testing::Test {
protected:
    std::vector<std::string> Left() const {
        std::vector<std::string> names;
        for (const auto& entry : platform::FindEntries(m_records.Str(), "*"))
            if (entry.name != "." && entry.name != "..")
                names.push_back(entry.name);
        return names;
    }

    TempFolder m_records;
};

TEST_F(RehearsalFilesTest, TheCopyAndTheBackupGoWithTheRehearsal) {
    TestDatabase copy(3, "n.rehearsal.fdb");
    copy.Execute("create table t (x integer);");
    const std::string backup = copy.Folder() + "/n.fbk";
    testing::WriteFile(backup, "backup");
    {
        RehearsalFiles files(m_records.Str(), "", Account);
        files.NoteBackup(copy.Path(), backup);
        files.NoteCopy(copy.Path());
        EXPECT_EQ(Left(), std::vector<std::string>{"rehearsal-files.txt"});
    }
    EXPECT_FALSE(platform::FileExists(copy.Path()));
    EXPECT_FALSE(platform::FileExists(backup));
    EXPECT_TRUE(Left().empty());
}

TEST_F(RehearsalFilesTest, WhatCannotBeRemovedIsSaidAndWhatIsMissingIsNot) {
    TempFolder folder;
    // A restore cut off early leaves a file the engine cannot attach.
    const std::string halfRestored = folder / "cut.rehearsal.fdb";
    testing::WriteFile(halfRestored, "not a database");
    RehearsalFiles files(m_records.Str(), "", Account);
    files.NoteBackup("dbhost/3050:/data/n.fdb", "/srv/копії/n.fbk");
    files.NoteBackup("/data/n.fdb", folder / "never-made.fbk");
    files.NoteCopy(halfRestored);
    files.NoteCopy(folder / "never-restored.fdb");
    EXPECT_EQ(files.Remove(),
              std::vector<std::string>{"резервна копія репетиції лишилась на сервері "
                                       "dbhost/3050: /srv/копії/n.fbk; видаліть її там"});
    EXPECT_FALSE(platform::FileExists(halfRestored));
    EXPECT_TRUE(Left().empty());
    EXPECT_TRUE(files.Remove().empty()) << "removed once";
}

TEST_F(RehearsalFilesTest, ARunThatFindsARecordRemovesWhatItNames) {
    TestDatabase copy(3, "n.rehearsal.fdb");
    RehearsalFiles files(m_records.Str(), "", Account);
    files.NoteCopy(copy.Path());
    // The next run reads the record a killed rehearsal left.
    EXPECT_TRUE(RemoveRehearsalLeftovers(m_records.Str(), "", Account).empty());
    EXPECT_FALSE(platform::FileExists(copy.Path()));
    EXPECT_TRUE(Left().empty());
    EXPECT_TRUE(RemoveRehearsalLeftovers(m_records.Str(), "", Account).empty());
}

// Each file is noted before it is made: a note that cannot be written stops the rehearsal
// before there is a file no record names.
TEST_F(RehearsalFilesTest, ANoteThatCannotBeWrittenRaises) {
    const std::string gone = m_records / "gone";
    const std::string record = gone + "/rehearsal-files.txt";
    RehearsalFiles files(gone, "", Account);
    EXPECT_THROW_CONTAINING(files.NoteBackup("/data/n.fdb", m_records / "n.fbk"), EOSError,
                            "не вдалося записати " + record + ": ");
    EXPECT_THROW_CONTAINING(files.NoteCopy(m_records / "n.rehearsal.fdb"), EOSError,
                            "не вдалося записати " + record + ": ");
    EXPECT_EQ(files.CopyName(), m_records / "n.rehearsal.fdb");
    EXPECT_TRUE(files.Remove().empty());
}

// A record cut off by a kill, or edited by hand: what it names in full goes, the rest is
// passed over.
TEST_F(RehearsalFilesTest, ARecordsDamagedLinesArePassedOver) {
    TestDatabase copy(3, "n.rehearsal.fdb");
    const std::string backup = copy.Folder() + "/n.fbk";
    testing::WriteFile(backup, "backup");
    const std::string kept = copy.Folder() + "/kept.fbk";
    testing::WriteFile(kept, "not the rehearsal's");
    testing::WriteFile(m_records / "rehearsal-files.txt", "copy\n"
                                                          "copy\t" +
                                                              kept +
                                                              "\textra\n"
                                                              "backup\t" +
                                                              kept +
                                                              "\n"
                                                              "restore\t\t" +
                                                              kept +
                                                              "\n"
                                                              "\n"
                                                              "backup\t\t" +
                                                              backup +
                                                              "\n"
                                                              "copy\t" +
                                                              copy.Path());
    EXPECT_TRUE(RemoveRehearsalLeftovers(m_records.Str(), "", Account).empty());
    EXPECT_FALSE(platform::FileExists(copy.Path())) << "the last line lost its line feed only";
    EXPECT_FALSE(platform::FileExists(backup));
    EXPECT_TRUE(platform::FileExists(kept));
    EXPECT_TRUE(Left().empty());
}

// On a read-only disk neither the engine nor the system can remove the files: each is said,
// with why.
TEST_F(RehearsalFilesTest, FilesOnADiskThatCannotBeWrittenAreSaid) {
    TempFolder folder;
    const std::string halfRestored = folder / "n.rehearsal.fdb";
    testing::WriteFile(halfRestored, "not a database");
    const std::string backup = folder / "n.fbk";
    testing::WriteFile(backup, "backup");
    RehearsalFiles files(m_records.Str(), "", Account);
    files.NoteBackup("/data/n.fdb", backup);
    files.NoteCopy(halfRestored);
    std::string whyNot;
    const auto readOnly = ScratchMount::ReadOnly(folder.Str(), whyNot);
    if (!readOnly)
        GTEST_SKIP() << whyNot;

    const std::vector<std::string> failures = files.Remove();
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_TRUE(
        failures[0].starts_with("не вдалося видалити копію бази даних " + halfRestored + ": "))
        << failures[0];
    EXPECT_EQ(failures[1],
              "не вдалося видалити резервну копію репетиції " + backup + ": Read-only file system");
    EXPECT_TRUE(platform::FileExists(halfRestored));
    EXPECT_TRUE(platform::FileExists(backup));
    EXPECT_TRUE(Left().empty()) << "the record goes: the next run could remove no more";
}

// A copy the server still holds cannot be dropped: it is said, by the name it is attached by,
// and left.
TEST_F(RehearsalFilesTest, ACopyTheServerStillHoldsIsSaidAndLeft) {
    const std::string server = testing::ServerForTest();
    if (server.empty())
        GTEST_SKIP() << testing::NoServerReason;
    TestDatabase copy(3, "n.rehearsal.fdb");
    const std::string copyName = server + ":" + copy.Path();
    db::Database holder("");
    holder.SetDatabaseName(copyName);
    holder.SetParams(Account);
    holder.Open();
    RehearsalFiles files(m_records.Str(), "", Account);
    files.NoteCopy(copyName);

    const std::vector<std::string> failures = files.Remove();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_TRUE(failures[0].starts_with("не вдалося видалити копію бази даних " + copyName + ": "))
        << failures[0];
    EXPECT_EQ(failures[0].find('\n'), std::string::npos) << "one line to show";
    EXPECT_TRUE(platform::FileExists(copy.Path()));
}

// Files that noted nothing leave the record alone: it is another rehearsal's until this one
// notes something.
TEST_F(RehearsalFilesTest, FilesThatNotedNothingLeaveTheRecordAlone) {
    TestDatabase copy(3, "n.rehearsal.fdb");
    RehearsalFiles earlier(m_records.Str(), "", Account);
    earlier.NoteCopy(copy.Path());
    {
        RehearsalFiles unused(m_records.Str(), "", Account);
        EXPECT_FALSE(unused.Noted());
        EXPECT_TRUE(unused.Remove().empty());
    }
    EXPECT_EQ(Left(), std::vector<std::string>{"rehearsal-files.txt"});
    EXPECT_TRUE(platform::FileExists(copy.Path()));
    EXPECT_TRUE(earlier.Remove().empty());
    EXPECT_FALSE(platform::FileExists(copy.Path()));
}

TEST(EmptyKeptLogs, DeletesTheLogsOfEveryPackageFolder) {
    TempFolder logs;
    testing::WriteFile(logs.Path() / "255" / "255.01.sql.log", "x");
    testing::WriteFile(logs.Path() / "256" / "blob.log", "y");
    EmptyKeptLogs(logs.Str());
    EXPECT_FALSE(platform::FileExists(logs / "255/255.01.sql.log"));
    EXPECT_FALSE(platform::FileExists(logs / "256/blob.log"));
    EmptyKeptLogs(logs / "missing");
}

TEST(EmptyKeptLogs, LeavesWhatIsNotInAPackageFolder) {
    TempFolder logs;
    testing::WriteFile(logs.Path() / "255" / "255.01.sql.log", "x");
    testing::WriteFile(logs.Path() / "notes.txt", "the administrator's");
    EmptyKeptLogs(logs.Str());
    EXPECT_FALSE(platform::FileExists(logs / "255/255.01.sql.log"));
    EXPECT_EQ(testing::ReadFile(logs.Path() / "notes.txt"), "the administrator's");
}

// gbak's verbose lines, as the service gives them.
const std::vector<std::string> BackupLines = {
    "gbak:readied database /d/n.fdb for backup",
    "gbak:writing tables",
    "gbak:    writing table A",
    "gbak:    writing table B",
    "gbak:    writing table C",
    "gbak:    writing data for table C",
    "gbak:5 records written",
    "gbak:    writing data for table A",
    "gbak:0 records written",
    "gbak:    writing data for table B",
    "gbak:20000 records written",
    "gbak:writing table constraints",
    "gbak:closing file, committing, and finishing. 1536 bytes written",
};

std::vector<std::string> Matching(const std::vector<std::string>& events, std::string_view start) {
    std::vector<std::string> found;
    std::copy_if(events.begin(), events.end(), std::back_inserter(found),
                 [&](const std::string& event) { return event.starts_with(start); });
    return found;
}

TEST(ServiceProgressDisplay, EstimatesFromTheTablesWhoseRowsAreDone) {
    RecordingWindow window;
    int tablesWithRows = 0;
    {
        ServiceProgressDisplay display(window, "Резервна копія бази даних", ServiceKind::Backup);
        EXPECT_TRUE(window.Shown(Control::ProgressBar2));
        EXPECT_EQ(window.Caption(Control::lUpdate), "Резервна копія бази даних");
        for (const std::string& line : BackupLines)
            display.OnLine(line);
        EXPECT_EQ(window.DrawnBar().max, 3);
        EXPECT_EQ(window.DrawnBar().position, 2);
        EXPECT_TRUE(window.Visible(Control::lUpdateTime));
        tablesWithRows = display.TablesWithRows();
    }
    EXPECT_EQ(tablesWithRows, 2);
    // The time left comes once a table is done, and not before.
    EXPECT_EQ(Matching(window.Events(), "caption lUpdateTime=").size(), 2u);
    EXPECT_FALSE(window.Visible(Control::lUpdateTime));
    EXPECT_FALSE(window.Visible(Control::ProgressBar2));
    EXPECT_GE(window.PumpCount(), static_cast<int>(BackupLines.size()));
}

TEST(ServiceProgressDisplay, ARestoreCountsTheTablesItsBackupWroteRowsOf) {
    RecordingWindow window;
    ServiceProgressDisplay display(window, "Копія бази даних для репетиції", ServiceKind::Restore,
                                   2);
    for (const char* line :
         {"gbak:restoring table A ", "gbak:restoring table B ", "gbak:restoring table C ",
          "gbak:restoring data for table C ", "gbak:   5 records restored ",
          "gbak:restoring data for table B ", "gbak:   20000 records restored "})
        display.OnLine(line);
    EXPECT_EQ(window.DrawnBar().max, 2);
    EXPECT_EQ(window.DrawnBar().position, 1);
    EXPECT_EQ(Matching(window.Events(), "caption lUpdateTime=").size(), 1u);
}

// Lines of another gbak than the one the markers were taken from: a count it does not give, a
// table's rows told twice, a restore whose backup counted no table with rows.
TEST(ServiceProgressDisplay, CountsOnlyTheRowsItCanRead) {
    RecordingWindow window;
    ServiceProgressDisplay display(window, "Резервна копія бази даних", ServiceKind::Backup);
    for (const char* line :
         {"gbak:    writing table A", "gbak:    writing table B",
          "gbak:    writing data for table A", "gbak:many records written",
          "gbak:    writing data for table B", "gbak:3 records written", "gbak:0 records written"})
        display.OnLine(line);
    EXPECT_EQ(display.TablesWithRows(), 1);
    EXPECT_EQ(window.DrawnBar().max, 2);
    EXPECT_EQ(window.DrawnBar().position, 1);

    RecordingWindow restoring;
    ServiceProgressDisplay restore(restoring, "Копія бази даних для репетиції",
                                   ServiceKind::Restore, 0);
    for (const char* line : {"gbak:restoring data for table A ", "5 records restored",
                             "gbak:restoring data for table B "})
        restore.OnLine(line);
    EXPECT_EQ(restore.TablesWithRows(), 1) << "A's count without gbak's prefix; B's not come";
    EXPECT_EQ(restoring.DrawnBar().max, 1);
    EXPECT_EQ(Matching(restoring.Events(), "caption lUpdateTime=").size(), 0u)
        << "no estimate without the number of tables";
}

TEST(ServiceProgressDisplay, AnInterruptionStopsTheService) {
    RecordingWindow window;
    ServiceProgressDisplay display(window, "Резервна копія бази даних", ServiceKind::Backup);
    display.OnLine(BackupLines[0]);
    platform::RequestInterrupt();
    try {
        display.OnLine(BackupLines[1]);
        ADD_FAILURE() << "the line was read";
    } catch (const EUpdateAborted& error) {
        EXPECT_EQ(error.Reason(), EUpdateAborted::Cause::Interrupted);
    }
    platform::ClearInterrupt();
}

} // namespace
} // namespace norvane::app
