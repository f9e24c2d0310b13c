// What only the Linux build can show of backups and restores: the metadata as isql extracts it,
// and folders mounted read-only or on a small disk (as root).

#include "db/services.h"

#include "platform/files.h"
#include "service_fixtures.h"
#include "support/expect_throw.h"
#include "support/scratch_mount.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <string>

namespace norvane::db {
namespace {

using testing::FillProductDatabase;
using testing::ScratchMount;
using testing::ServiceManagerTest;
using testing::TempFolder;
using testing::TestDatabase;

std::string WithoutPath(std::string ddl, const std::string& path) {
    for (std::size_t at; (at = ddl.find(path)) != std::string::npos;)
        ddl.replace(at, path.size(), "<database>");
    return ddl;
}

TEST_P(ServiceManagerTest, ARestoredDatabaseExtractsAsTheOriginal) {
    TestDatabase original(3, "norvane.fdb", 4096);
    FillProductDatabase(original);
    TestDatabase copy(3, "copy.fdb");
    TempFolder folder;
    const std::string backupFile = folder / "norvane.fbk";
    ServiceManager manager = Manager(original.Path());
    manager.Backup(original.Path(), backupFile);
    manager.Restore(backupFile, copy.Path(), RestoreTarget::Replace);

    const std::string ddl = WithoutPath(original.ExtractMetadata(), original.Path());
    EXPECT_NE(ddl.find("PAGE_SIZE 4096"), std::string::npos) << ddl;
    EXPECT_NE(ddl.find("CREATE TRIGGER WORKS_BI"), std::string::npos) << ddl;
    EXPECT_EQ(WithoutPath(copy.ExtractMetadata(), copy.Path()), ddl);
}

// A database with more data than the small disks hold.
void FillLargerThanTheDisks(TestDatabase& file) {
    file.Execute("create table t (id integer, filler varchar(8000));\n"
                 "set term ^ ;\n"
                 "execute block as declare i integer = 0; begin "
                 "while (i < 200) do begin "
                 "insert into t values (:i, lpad('', 8000, uuid_to_char(gen_uuid()))); "
                 "i = i + 1; end end^\n"
                 "set term ; ^\n");
}

TEST_P(ServiceManagerTest, ABackupIntoAFolderThatCannotBeWrittenRaisesAndLeavesNoFile) {
    TestDatabase original;
    TempFolder folder;
    std::string whyNot;
    const auto readOnly = ScratchMount::ReadOnly(folder.Str(), whyNot);
    if (!readOnly)
        GTEST_SKIP() << whyNot;
    const std::string backupFile = folder / "t.fbk";
    EXPECT_THROW_CONTAINING(Manager(original.Path()).Backup(original.Path(), backupFile),
                            EFirebirdError, "cannot open backup file " + backupFile);
    EXPECT_FALSE(platform::FileExists(backupFile));
}

TEST_P(ServiceManagerTest, ABackupOntoAFullDiskRaisesAndLeavesNoFile) {
    TestDatabase original;
    FillLargerThanTheDisks(original);
    TempFolder folder;
    std::string whyNot;
    const auto disk = ScratchMount::SmallDisk(folder.Str(), 256 * 1024, whyNot);
    if (!disk)
        GTEST_SKIP() << whyNot;
    const std::string backupFile = folder / "t.fbk";
    EXPECT_THROW_CONTAINING(Manager(original.Path()).Backup(original.Path(), backupFile),
                            EFirebirdError, "free disk space exhausted");
    EXPECT_FALSE(platform::FileExists(backupFile));
}

TEST_P(ServiceManagerTest, ARestoreOntoAFullDiskRaisesAndLeavesNoDatabase) {
    TestDatabase original;
    FillLargerThanTheDisks(original);
    TempFolder folder;
    const std::string backupFile = folder / "t.fbk";
    ServiceManager manager = Manager(original.Path());
    manager.Backup(original.Path(), backupFile);
    TempFolder small;
    std::string whyNot;
    const auto disk = ScratchMount::SmallDisk(small.Str(), 1024 * 1024, whyNot);
    if (!disk)
        GTEST_SKIP() << whyNot;
    const std::string copy = small / "copy.fdb";
    EXPECT_THROW_CONTAINING(manager.Restore(backupFile, copy, RestoreTarget::CreateNew),
                            EFirebirdError, "No space left on device");
    // The file the server could not fill it cannot open to drop either; the engine of this
    // process deletes it.
    if (manager.Embedded()) {
        EXPECT_FALSE(platform::FileExists(copy));
    }
}

} // namespace
} // namespace norvane::db
