#include "app/database_backup.h"

#include "app/service_progress.h"
#include "base/exceptions.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "support/recording_window.h"
#include "support/temp_folder.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace norvane::app {
namespace {

using testing::RecordingWindow;
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

TEST(EmptyKeptLogs, DeletesTheLogsOfEveryPackageFolder) {
    TempFolder logs;
    testing::WriteFile(logs.Path() / "255" / "255.01.sql.log", "x");
    testing::WriteFile(logs.Path() / "256" / "blob.log", "y");
    EmptyKeptLogs(logs.Str());
    EXPECT_FALSE(platform::FileExists(logs / "255/255.01.sql.log"));
    EXPECT_FALSE(platform::FileExists(logs / "256/blob.log"));
    EmptyKeptLogs(logs / "missing");
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
