// Backups and restores that meet a folder they cannot write or a disk that fills up: mounted
// over a folder of the test, so Linux only, and as root.

#include "db/services.h"

#include "platform/files.h"
#include "support/expect_throw.h"
#include "support/scratch_mount.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace norvane::db {
namespace {

using testing::ScratchMount;
using testing::TempFolder;
using testing::TestDatabase;
using testing::TestServer;

const ConnectionParams Account{"sysdba", "quillbark"};

enum class Engine { Embedded, Server };

std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
    return info.param == Engine::Embedded ? "Embedded" : "Server";
}

// A database with more data than the small disk holds, and a manager for it.
class ServiceDiskTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        std::string name = m_database.Path();
        if (GetParam() == Engine::Server) {
            const auto server = TestServer();
            if (!server)
                GTEST_SKIP() << "NORVANE_TEST_SERVER is not set; scripts/test starts a server "
                                "and sets it";
            name = *server + ":" + name;
        }
        m_database.Execute("create table t (id integer, filler varchar(8000));\n"
                           "set term ^ ;\n"
                           "execute block as declare i integer = 0; begin "
                           "while (i < 200) do begin "
                           "insert into t values (:i, lpad('', 8000, uuid_to_char(gen_uuid()))); "
                           "i = i + 1; end end^\n"
                           "set term ; ^\n");
        m_manager = std::make_unique<ServiceManager>("", name, Account);
    }

    TestDatabase m_database;
    TempFolder m_folder;
    std::unique_ptr<ServiceManager> m_manager;
};

INSTANTIATE_TEST_SUITE_P(Engines, ServiceDiskTest,
                         ::testing::Values(Engine::Embedded, Engine::Server), EngineName);

TEST_P(ServiceDiskTest, ABackupIntoAFolderThatCannotBeWrittenRaisesAndLeavesNoFile) {
    std::string whyNot;
    const auto readOnly = ScratchMount::ReadOnly(m_folder.Str(), whyNot);
    if (!readOnly)
        GTEST_SKIP() << whyNot;
    const std::string backupFile = m_folder / "t.fbk";
    EXPECT_THROW_CONTAINING(m_manager->Backup(m_database.Path(), backupFile), EFirebirdError,
                            "cannot open backup file " + backupFile);
    EXPECT_FALSE(platform::FileExists(backupFile));
}

TEST_P(ServiceDiskTest, ABackupOntoAFullDiskRaisesAndLeavesNoFile) {
    std::string whyNot;
    const auto disk = ScratchMount::SmallDisk(m_folder.Str(), 256 * 1024, whyNot);
    if (!disk)
        GTEST_SKIP() << whyNot;
    const std::string backupFile = m_folder / "t.fbk";
    EXPECT_THROW_CONTAINING(m_manager->Backup(m_database.Path(), backupFile), EFirebirdError,
                            "free disk space exhausted");
    EXPECT_FALSE(platform::FileExists(backupFile));
}

TEST_P(ServiceDiskTest, ARestoreOntoAFullDiskRaisesAndLeavesNoDatabase) {
    const std::string backupFile = m_folder / "t.fbk";
    m_manager->Backup(m_database.Path(), backupFile);
    TempFolder small;
    std::string whyNot;
    const auto disk = ScratchMount::SmallDisk(small.Str(), 1024 * 1024, whyNot);
    if (!disk)
        GTEST_SKIP() << whyNot;
    const std::string copy = small / "copy.fdb";
    EXPECT_THROW_CONTAINING(m_manager->Restore(backupFile, copy, RestoreTarget::CreateNew),
                            EFirebirdError, "No space left on device");
    // The file the server could not fill it cannot open to drop either; the engine of this
    // process deletes it.
    if (m_manager->Embedded()) {
        EXPECT_FALSE(platform::FileExists(copy));
    }
}

} // namespace
} // namespace norvane::db
