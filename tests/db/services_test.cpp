#include "db/services.h"

#include "base/exceptions.h"
#include "base/sha256.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "service_fixtures.h"
#include "support/expect_throw.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace norvane::db {
namespace {

using testing::AnyHolds;
using testing::BinaryBytes;
using testing::Dump;
using testing::Engine;
using testing::FillProductDatabase;
using testing::ProgramAccount;
using testing::ServiceManagerTest;
using testing::TempFolder;
using testing::TestDatabase;
using testing::TestServer;

TEST(BackupFileName, NamesTheDatabaseItsVersionAndTheTime) {
    struct Case {
        const char* databaseName;
        std::string expected;
    };
    const BackupTime time{2024, 3, 7, 9, 5, 1};
    const Case cases[] = {
        {"/data/norvane.fdb", "norvane-254-20240307T090501.fbk"},
        {"C:\\Norvane\\Data\\NORVANE.FDB", "NORVANE-254-20240307T090501.fbk"},
        {"127.0.0.1/3063:/data/norvane.fdb", "norvane-254-20240307T090501.fbk"},
        {"server:D:\\Бази\\Кошторис.fdb", "Кошторис-254-20240307T090501.fbk"},
        {"norvane.fdb", "norvane-254-20240307T090501.fbk"},
        {"/data/norvane", "norvane-254-20240307T090501.fbk"},
        {"/data/norvane.2024.fdb", "norvane.2024-254-20240307T090501.fbk"},
        {"/data/.norvane", ".norvane-254-20240307T090501.fbk"},
        {"/data.d/norvane", "norvane-254-20240307T090501.fbk"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BackupFileName(c.databaseName, 254, time), c.expected) << c.databaseName;
    EXPECT_EQ(BackupFileName("/x.fdb", 7, {1999, 12, 31, 23, 59, 58}), "x-7-19991231T235958.fbk");
}

TEST(ServiceManagerName, IsTheServerOfTheDatabaseName) {
    struct Case {
        const char* databaseName;
        DatabaseLocation location;
        const char* serviceManager;
    };
    const Case cases[] = {
        {"/data/x.fdb", {"", "/data/x.fdb"}, "service_mgr"},
        {"x.fdb", {"", "x.fdb"}, "service_mgr"},
        {"C:\\Data\\x.fdb", {"", "C:\\Data\\x.fdb"}, "service_mgr"},
        {"c:/Data/x.fdb", {"", "c:/Data/x.fdb"}, "service_mgr"},
        {"127.0.0.1:/data/x.fdb", {"127.0.0.1", "/data/x.fdb"}, "127.0.0.1:service_mgr"},
        {"127.0.0.1/3063:/data/x.fdb",
         {"127.0.0.1/3063", "/data/x.fdb"},
         "127.0.0.1/3063:service_mgr"},
        {"server:C:\\Data\\x.fdb", {"server", "C:\\Data\\x.fdb"}, "server:service_mgr"},
        {"[::1]/3050:/data/x.fdb", {"[::1]/3050", "/data/x.fdb"}, "[::1]/3050:service_mgr"},
        // An address without its closing bracket is no server's.
        {"[::1/3050:/data/x.fdb", {"", "[::1/3050:/data/x.fdb"}, "service_mgr"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplitDatabaseName(c.databaseName), c.location) << c.databaseName;
        EXPECT_EQ(ServiceManagerName(c.databaseName), c.serviceManager) << c.databaseName;
    }
}

// The page size is not the engine's default, so that a restore that does not keep it shows.
TEST_P(ServiceManagerTest, ABackupRestoresIntoANewDatabaseEqualToTheOriginal) {
    TestDatabase original(3, "norvane.fdb", 4096);
    FillProductDatabase(original);
    TempFolder folder;
    const std::string backupFile = folder / "norvane-254-20240307T090501.fbk";
    const std::string copy = folder / "copy.fdb";

    std::vector<std::string> backupLines;
    std::vector<std::string> restoreLines;
    ServiceManager manager = Manager(original.Path());
    const std::uint64_t size =
        manager.Backup(original.Path(), backupFile,
                       {[&](const std::string& line) { backupLines.push_back(line); }, {}});
    manager.Restore(backupFile, copy, RestoreTarget::CreateNew,
                    {[&](const std::string& line) { restoreLines.push_back(line); }, {}});

    EXPECT_EQ(platform::FileSize(backupFile), size);
    EXPECT_GT(size, 200u * 1024);
    EXPECT_TRUE(AnyHolds(backupLines, "WORKS")) << "the tables are named as they are written";
    EXPECT_TRUE(AnyHolds(backupLines, std::to_string(size) + " bytes written"));
    EXPECT_TRUE(AnyHolds(restoreLines, "WORKS"));
    EXPECT_TRUE(AnyHolds(restoreLines, "finishing, closing, and going home"));
    const std::string dump = Dump(original.Path());
    EXPECT_NE(dump.find("== database\n4096e0 | 3e0\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("blob 'Кошторис, рядок 1'"), std::string::npos) << dump;
    EXPECT_NE(dump.find("blob of 204800 bytes, sha256 " + Sha256Hex(BinaryBytes(200 * 1024))),
              std::string::npos)
        << dump;
    EXPECT_EQ(Dump(copy), dump);
}

TEST_P(ServiceManagerTest, ARestoreReplacesAnExistingDatabase) {
    TestDatabase original(3, "norvane.fdb", 4096);
    FillProductDatabase(original);
    TestDatabase target(3, "target.fdb");
    target.Execute("create table stale (x integer);\ninsert into stale values (1);");
    TempFolder folder;
    const std::string backupFile = folder / "norvane.fbk";

    ServiceManager manager = Manager(original.Path());
    manager.Backup(original.Path(), backupFile);
    manager.Restore(backupFile, target.Path(), RestoreTarget::Replace);

    EXPECT_EQ(Dump(target.Path()), Dump(original.Path()));
}

TEST_P(ServiceManagerTest, ARestoreDoesNotTouchAnExistingDatabaseUnlessToldToReplaceIt) {
    TestDatabase original;
    original.Execute("create table t (x integer);\ninsert into t values (1);");
    TestDatabase other(3, "other.fdb");
    other.Execute("create table kept (x integer);\ninsert into kept values (7);");
    TempFolder folder;
    const std::string backupFile = folder / "original.fbk";
    ServiceManager manager = Manager(original.Path());
    manager.Backup(original.Path(), backupFile);

    EXPECT_THROW_CONTAINING(manager.Restore(backupFile, other.Path(), RestoreTarget::CreateNew),
                            EFirebirdError, "already exists");
    EXPECT_EQ(other.QueryCount("select x from kept"), 7);
}

// The names go to the service as UTF-8, whatever the locale or the ANSI code page.
TEST_P(ServiceManagerTest, UkrainianFileNamesReachTheService) {
    TestDatabase original(3, "Кошторис.fdb");
    original.Execute("create table t (x integer);\ninsert into t values (5);");
    TempFolder folder;
    const std::string copies = folder / "Резервні копії";
    ASSERT_TRUE(platform::CreateFolder(copies));
    const std::string backupFile =
        JoinPath(copies, BackupFileName(original.Path(), 254, {2024, 3, 7, 9, 5, 1}));
    const std::string copy = JoinPath(copies, "Копія.fdb");
    std::vector<std::string> lines;
    ServiceManager manager = Manager(original.Path());
    manager.Backup(original.Path(), backupFile,
                   {[&](const std::string& line) { lines.push_back(line); }, {}});
    manager.Restore(backupFile, copy, RestoreTarget::CreateNew);

    EXPECT_EQ(FileNameOf(backupFile), "Кошторис-254-20240307T090501.fbk");
    EXPECT_TRUE(platform::FileExists(backupFile));
    EXPECT_TRUE(AnyHolds(lines, original.Path())) << "the output names the database as given";
    EXPECT_EQ(Dump(copy), Dump(original.Path()));
}

TEST_P(ServiceManagerTest, ABackupIntoAMissingFolderRaisesWithTheServiceTextAndLeavesNoFile) {
    TestDatabase original;
    TempFolder folder;
    const std::string backupFile = JoinPath(folder / "missing", "x.fbk");
    ServiceManager manager = Manager(original.Path());
    EXPECT_THROW_CONTAINING(manager.Backup(original.Path(), backupFile), EFirebirdError,
                            "cannot open backup file " + backupFile);
    EXPECT_FALSE(platform::FileExists(backupFile));
}

TEST_P(ServiceManagerTest, ABackupOfAMissingDatabaseRaisesWithTheServiceTextAndLeavesNoFile) {
    TestDatabase elsewhere;
    TempFolder folder;
    const std::string missing = folder / "missing.fdb";
    const std::string backupFile = folder / "missing.fbk";
    ServiceManager manager = Manager(elsewhere.Path());
    EXPECT_THROW_CONTAINING(manager.Backup(missing, backupFile), EFirebirdError,
                            "I/O error during \"open\" operation for file \"" + missing + "\"");
    EXPECT_FALSE(platform::FileExists(backupFile));
}

// Only a file the backup made is removed when it fails: one that was there is the owner's.
TEST_P(ServiceManagerTest, ABackupThatFailsLeavesAFileThatWasThereBefore) {
    TestDatabase elsewhere;
    TempFolder folder;
    const std::string backupFile = folder / "kept.fbk";
    testing::WriteFile(backupFile, "an earlier backup");
    ServiceManager manager = Manager(elsewhere.Path());
    EXPECT_THROW(manager.Backup(folder / "missing.fdb", backupFile), EFirebirdError);
    EXPECT_EQ(testing::ReadFile(backupFile), "an earlier backup");
}

TEST_P(ServiceManagerTest, ACallerStopsWaitingByThrowingFromTheCallback) {
    TestDatabase original;
    FillProductDatabase(original);
    TempFolder folder;
    const std::string stopped = folder / "stopped.fbk";
    const std::string whole = folder / "whole.fbk";
    ServiceManager manager = Manager(original.Path());
    int lines = 0;
    EXPECT_THROW_MSG(manager.Backup(original.Path(), stopped,
                                    {[&](const std::string&) {
                                         if (++lines == 3)
                                             throw std::runtime_error("interrupted");
                                     },
                                     {}}),
                     std::runtime_error, "interrupted");
    EXPECT_EQ(lines, 3);
    if (manager.Embedded()) {
        EXPECT_FALSE(platform::FileExists(stopped));
    }
    // The manager attaches again for the next service.
    EXPECT_GT(manager.Backup(original.Path(), whole), 0u);
}

TEST_P(ServiceManagerTest, DropDatabaseRemovesADatabaseAndTellsOfAMissingOne) {
    TestDatabase copy(3, "copy.fdb");
    copy.Execute("create table t (x integer);");
    EXPECT_TRUE(DropDatabase("", NameOf(copy.Path()), ProgramAccount));
    EXPECT_FALSE(platform::FileExists(copy.Path()));
    EXPECT_FALSE(DropDatabase("", NameOf(copy.Path()), ProgramAccount));

    TestDatabase held(3, "held.fdb");
    Database holder("");
    holder.SetDatabaseName(NameOf(held.Path()));
    holder.SetParams(ProgramAccount);
    holder.Open();
    EXPECT_THROW(DropDatabase("", NameOf(held.Path()), ProgramAccount), EFirebirdError);
    EXPECT_TRUE(platform::FileExists(held.Path()));
}

TEST_P(ServiceManagerTest, ARestoreOfAFileThatIsNoBackupRaisesAndLeavesNoDatabase) {
    TestDatabase original;
    TempFolder folder;
    const std::string notABackup = folder / "notes.fbk";
    testing::WriteFile(notABackup, std::string(4096, 'x'));
    const std::string copy = folder / "copy.fdb";
    ServiceManager manager = Manager(original.Path());
    EXPECT_THROW_CONTAINING(manager.Restore(notABackup, copy, RestoreTarget::CreateNew),
                            EFirebirdError, "expected backup");
    EXPECT_FALSE(platform::FileExists(copy));
}

// gbak asks for the next volume of a backup cut short and, with no one to answer, ends as if
// it had finished. The embedded engine's only: a server's service holds the half-restored
// database a while after it ended, and its gbak asks on the server's terminal.
TEST(ServiceManagerEmbedded, ARestoreOfABackupCutShortIsNotTakenForOneThatFinished) {
    TestDatabase original;
    FillProductDatabase(original);
    TempFolder folder;
    const std::string backupFile = folder / "norvane.fbk";
    ServiceManager manager("", original.Path(), ProgramAccount);
    const std::uint64_t size = manager.Backup(original.Path(), backupFile);
    testing::WriteFile(backupFile, testing::ReadFile(backupFile).substr(0, size / 2));
    const std::string copy = folder / "copy.fdb";
    EXPECT_THROW_CHECKED(manager.Restore(backupFile, copy, RestoreTarget::CreateNew),
                         EFirebirdError, [&](const std::string& text) {
                             EXPECT_TRUE(text.starts_with("The restore of " + backupFile +
                                                          " into " + copy + " did not finish\n"))
                                 << text;
                         });
    EXPECT_FALSE(platform::FileExists(copy));
}

// A file in the way that is no database was there before: it is the owner's, and stays.
TEST_P(ServiceManagerTest, ARestoreOntoAFileThatIsNoDatabaseLeavesIt) {
    TestDatabase original;
    TempFolder folder;
    const std::string backupFile = folder / "original.fbk";
    ServiceManager manager = Manager(original.Path());
    manager.Backup(original.Path(), backupFile);
    const std::string inTheWay = folder / "copy.fdb";
    testing::WriteFile(inTheWay, "the owner's notes");
    EXPECT_THROW(manager.Restore(backupFile, inTheWay, RestoreTarget::CreateNew), EFirebirdError);
    EXPECT_EQ(testing::ReadFile(inTheWay), "the owner's notes");
}

// Names from nrv.ini or the command line too long for the service's parameters are refused
// before anything is started.
TEST(ServiceManagerParameters, NamesTooLongForAServiceAreRefused) {
    TestDatabase original;
    TempFolder folder;
    const std::string longName = folder / std::string(70000, 'n');
    const std::string halfName = folder / std::string(40000, 'n');
    EXPECT_THROW_MSG(
        ServiceManager("", "dbhost" + std::string(70000, 'h') + ":/d/x.fdb", ProgramAccount),
        EMisuse, "The server name is too long");
    ServiceManager manager("", original.Path(), ProgramAccount);
    EXPECT_THROW_MSG(manager.Backup(original.Path(), longName), EMisuse,
                     "A file name is longer than a service parameter can hold");
    EXPECT_THROW_MSG(manager.Backup(halfName, halfName + ".fbk"), EMisuse,
                     "The file names are longer than a service parameter block can hold");
    EXPECT_GT(manager.Backup(original.Path(), folder / "x.fbk"), 0u) << "the manager still serves";
}

TEST(ServiceManagerServer, AWrongPasswordIsRefusedWithTheClientText) {
    const auto server = TestServer();
    if (!server)
        GTEST_SKIP() << "NORVANE_TEST_SERVER is not set; scripts/test starts a server and sets it";
    EXPECT_THROW_CONTAINING(
        ServiceManager("", *server + ":/nonexistent/x.fdb", {"sysdba", "wrong"}), EFirebirdError,
        "user name and password are not defined");
}

} // namespace
} // namespace norvane::db
