// The backup before the update, made by the install behind the window's button when nrv.ini
// names a folder for it. This executable carries packages 254 and 255.
#include "installer_fixture.h"

#include "db/own_tables.h"
#include "db/run_lock.h"
#include "db/services.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "service_fixtures.h"
#include "support/scratch_mount.h"
#include "support/test_server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace norvane::testing {
namespace {

// Its cases are the backup tests' own.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ServiceManagerTest);

using app::ExitStatus;
using app::RunReport;
using ui::Control;

class BackupTest : public InstallerTest, public ::testing::WithParamInterface<Engine> {
protected:
    void SetUp() override {
        if (GetParam() == Engine::Server) {
            m_server = ServerForTest();
            if (m_server.empty())
                GTEST_SKIP() << NoServerReason;
            UseServer(m_server);
        }
        MakeDatabaseAt(253);
        FillProductDatabase(m_database);
        // As an earlier update left it: the lock's table is there, so the backup comes after
        // the installer's lock.
        db::Database database("");
        database.SetDatabaseName(m_database.Path());
        database.SetParams(ProgramAccount);
        database.Open();
        db::EnsureOwnTables(database, std::span(&db::DatabaseRunLock::Table(), 1));
    }

    std::string DatabaseName(const std::string& path) const {
        return m_server.empty() ? path : m_server + ":" + path;
    }
    // The installer's own tables left out: its lock row names the run that holds it.
    std::string DumpOfTheDatabase() const {
        return Dump(DatabaseName(m_database.Path()), OwnTables::LeftOut);
    }

    // The files the backup folder holds.
    std::vector<std::string> Backups() const {
        std::vector<std::string> files;
        platform::CollectFiles(files, m_backups.Str(), "*");
        return files;
    }

    // The memo's lines from the one that starts with first, count of them.
    std::vector<std::string> MemoFrom(const std::string& first, std::size_t count) const {
        const auto lines = m_window.MemoLines();
        auto from = std::find(lines.begin(), lines.end(), first);
        if (from == lines.end())
            return {};
        return {from, from + std::min<std::ptrdiff_t>(count, lines.end() - from)};
    }

    std::string m_server;
    TempFolder m_backups;
};

TEST_P(BackupTest, TheWindowBacksTheDatabaseUpBeforeItsFirstChange) {
    const std::string before = DumpOfTheDatabase();
    UseBackupFolder(m_backups.Str());
    Start();
    m_form->btOKClick();

    const std::vector<std::string> backups = Backups();
    ASSERT_EQ(backups.size(), 1u);
    const std::string& file = backups.front();
    EXPECT_TRUE(
        std::regex_match(file, std::regex(m_backups.Str() + "/test-253-\\d{8}T\\d{6}\\.fbk")))
        << file;
    EXPECT_EQ(
        MemoFrom("Наявність архиватора RAR...[OK]", 4),
        (std::vector<std::string>{"Наявність архиватора RAR...[OK]",
                                  "Резервна копія бази даних...[OK]", file, "Копіювання пакету"}));
    // While it ran: its caption, the bar, and the time left once a table was done.
    const auto& events = m_window.Events();
    const auto shown =
        std::find(events.begin(), events.end(), "caption lUpdate=Резервна копія бази даних");
    const auto unpacking =
        std::find(events.begin(), events.end(), "caption lUpdate=Підготовка оновлення");
    ASSERT_LT(shown, unpacking);
    EXPECT_TRUE(std::any_of(shown, unpacking, [](const std::string& event) {
        return event.starts_with("caption lUpdateTime=");
    }));
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Finished);
    EXPECT_EQ(DatabaseVersion(), "255");

    // The backup is the database as it was, restored through the client's services.
    TempFolder restored;
    db::ServiceManager manager("", DatabaseName(m_database.Path()), ProgramAccount);
    manager.Restore(file, restored / "copy.fdb", db::RestoreTarget::CreateNew);
    EXPECT_EQ(Dump(DatabaseName(restored / "copy.fdb"), OwnTables::LeftOut), before);

    m_form->FinishRun();
    const std::string history = ReadFile(m_program.Path() / "norvane-update.log");
    EXPECT_NE(history.find("\nрезервна копія: " + file + " ("), std::string::npos) << history;
}

// The run ends before the journal is made or a package unpacked: the database and the program
// folder are as they were, and the status is an error's.
TEST_P(BackupTest, ABackupThatFailsStopsTheRunBeforeAnythingChanged) {
    const std::string before = DumpOfTheDatabase();
    const std::string missing = m_backups / "missing";
    UseBackupFolder(missing);
    Start();
    m_form->btOKClick();

    ASSERT_EQ(m_window.ErrorLines().size(), 1u);
    const std::string error = m_window.ErrorLines().front();
    EXPECT_TRUE(std::regex_match(
        error, std::regex("error: резервну копію бази даних не створено: cannot open backup file " +
                          missing + "/test-253-\\d{8}T\\d{6}\\.fbk.*")))
        << error;
    EXPECT_EQ(m_window.MemoLines().back(), error);
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Failed);
    EXPECT_EQ(m_form->FinishRun(), ExitStatus::Error);
    EXPECT_EQ(DumpOfTheDatabase(), before);
    EXPECT_FALSE(std::filesystem::exists(ProgramFile("Norvanework.exe")));
    EXPECT_FALSE(std::filesystem::exists(WorkFile("254.rar")));
    EXPECT_EQ(m_window.Caption(Control::btCancel), "Зачинити");
    const std::string history = ReadFile(m_program.Path() / "norvane-update.log");
    EXPECT_NE(history.find("помилка: резервну копію бази даних не створено: "), std::string::npos)
        << history;
}

TEST_P(BackupTest, ABackupOntoAFullDiskStopsTheRunAndLeavesNoFile) {
    m_database.Execute("create table filler (id integer, text varchar(8000));\n"
                       "set term ^ ;\n"
                       "execute block as declare i integer = 0; begin "
                       "while (i < 200) do begin "
                       "insert into filler values (:i, lpad('', 8000, uuid_to_char(gen_uuid()))); "
                       "i = i + 1; end end^\n"
                       "set term ; ^\n");
    const std::string before = DumpOfTheDatabase();
    std::string whyNot;
    const auto disk = ScratchMount::SmallDisk(m_backups.Str(), 256 * 1024, whyNot);
    if (!disk)
        GTEST_SKIP() << whyNot;
    UseBackupFolder(m_backups.Str());
    Start();
    m_form->btOKClick();

    ASSERT_EQ(m_window.ErrorLines().size(), 1u);
    EXPECT_NE(m_window.ErrorLines().front().find("free disk space exhausted"), std::string::npos)
        << m_window.ErrorLines().front();
    EXPECT_EQ(m_form->FinishRun(), ExitStatus::Error);
    EXPECT_TRUE(Backups().empty());
    EXPECT_EQ(DumpOfTheDatabase(), before);
}

TEST_P(BackupTest, AnInterruptionStopsTheBackupAndTheRun) {
    const std::string before = DumpOfTheDatabase();
    UseBackupFolder(m_backups.Str());
    Start();
    m_window.OnPump = [&] {
        if (m_window.Caption(Control::lUpdate) == "Резервна копія бази даних")
            platform::RequestInterrupt();
    };
    m_form->btOKClick();

    EXPECT_EQ(m_window.ErrorLines(), std::vector<std::string>{"error: оновлення перервано"});
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Interrupted);
    EXPECT_EQ(DumpOfTheDatabase(), before);
    // The server's backup file is beyond this process's reach.
    if (GetParam() == Engine::Embedded) {
        EXPECT_TRUE(Backups().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, BackupTest, ::testing::Values(Engine::Embedded, Engine::Server),
                         [](const auto& info) {
                             return info.param == Engine::Embedded ? "Embedded" : "Server";
                         });

} // namespace
} // namespace norvane::testing
