// This executable carries package 255 with a long script (see CMakeLists.txt): faults are
// injected into a real update at counted points, and the database, the program folder, the
// memo and the exit status are checked.
#include "installer_fixture.h"

#include "db/database.h"
#include "db/own_tables.h"
#include "db/run_lock.h"
#include "frontends/console/unattended.h"
#include "support/child_process.h"
#include "support/private_server.h"
#include "support/scratch_mount.h"
#include "support/test_server.h"
#include "update/update_journal.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>

namespace norvane::testing {
namespace {

namespace fs = std::filesystem;
using app::RunReport;

constexpr int LongScriptRows = 400;

class FaultTest : public InstallerTest {
public:
    /// Calls act once, when lines lines of the script whose status line is scriptLine have
    /// run (the window is pumped after every line).
    void AtLineOf(const std::string& scriptLine, int lines, std::function<void()> act) {
        m_window.OnPump = [this, scriptLine, lines, act, count = -1]() mutable {
            if (count < 0 && m_window.MemoLines().back() == scriptLine)
                count = 0;
            if (count >= 0 && ++count == lines)
                act();
        };
    }

    int LoadedRows() {
        return static_cast<int>(m_database.QueryCount("select count(*) from LOAD_ROWS"));
    }
    bool LoadTableExists() {
        return m_database.QueryCount("select count(*) from rdb$relations"
                                     " where rdb$relation_name = 'LOAD_ROWS'") == 1;
    }

    /// What every stopped install shares: nothing after the stop, the version unchanged, no
    /// program file copied, exit status 2, one error line at the end.
    void ExpectStoppedBeforeTheProgramFiles() {
        const auto lines = m_window.MemoLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("error", 0), 0u) << lines.back();
        for (const char* after : {"255.99.sql", "Norvanework.exe...", "a.fr3..."})
            EXPECT_EQ(std::count(lines.begin(), lines.end(), after), 0) << after;
        EXPECT_EQ(DatabaseVersion(), "254");
        EXPECT_FALSE(fs::is_regular_file(ProgramFile("Norvanework.exe")));
        EXPECT_FALSE(fs::exists(ProgramFile("Report/a.fr3")));
        EXPECT_EQ(console::ExitStatusFor(m_form->Report()), console::ExitStatus::Error);
        EXPECT_FALSE(m_window.Visible(ui::Control::btOK));
        EXPECT_EQ(m_window.Caption(ui::Control::btCancel), "Зачинити");
        EXPECT_TRUE(m_window.Enabled(ui::Control::btCancel));
    }
};

// A file size limit for this process, as a full disk: writes beyond it fail with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uintmax_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

// The database is lost in the middle of a script: the statement that meets it is logged,
// no further statement, blob file, program file or package runs, and the run says why.
struct DatabaseLoss {
    const char* name;
    bool throughServer;
    std::function<void(FaultTest&, PrivateFirebirdServer*, std::unique_ptr<FileSizeLimit>&)> cut;
};

void PrintTo(const DatabaseLoss& param, std::ostream* out) {
    *out << param.name;
}

enum class Commits { Grouped, OnePerStatement };

class DatabaseLossTest : public FaultTest,
                         public ::testing::WithParamInterface<std::tuple<DatabaseLoss, Commits>> {};

// The number of the row a logged INSERT of the long script would have made.
int RowOfInsert(const std::string& log) {
    const std::string start = "INSERT INTO LOAD_ROWS VALUES (";
    return log.starts_with(start) ? std::atoi(log.c_str() + start.size()) : -1;
}

TEST_P(DatabaseLossTest, StopsAtTheNextStatement) {
    const auto& [loss, commits] = GetParam();
    if (commits == Commits::OnePerStatement)
        UseOneTransactionPerStatement();
    std::unique_ptr<PrivateFirebirdServer> server;
    if (loss.throughServer) {
        server = std::make_unique<PrivateFirebirdServer>();
        UseServer(server->Name());
    }
    StartAtVersion(254);
    std::unique_ptr<FileSizeLimit> limit;
    AtLineOf("255.02.sql", 100, [&] { loss.cut(*this, server.get(), limit); });
    m_form->btOKClick();
    limit.reset();
    m_window.OnPump = nullptr;

    const auto lines = m_window.MemoLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "255.02.sql");
    EXPECT_EQ(lines.back().rfind("error: ", 0), 0u) << lines.back();
    EXPECT_EQ(lines.back().find('\n'), std::string::npos);
    ExpectStoppedBeforeTheProgramFiles();
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Failed);
    // The loss came after 100 rows (a disk fills where its free pages end); the statement
    // that met it is the one logged, and none after it ran.
    const std::string log = ReadFile(WorkFile("up/255.02.sql.log"));
    const int logged = RowOfInsert(log);
    EXPECT_GT(logged, 100) << log;
    EXPECT_LE(logged, LongScriptRows) << log;
    EXPECT_EQ(log.find("INSERT", 1), std::string::npos) << log;
    // Every row before it is kept when each was committed on its own; the group it was in is
    // lost, to be done again by the next run, which the journal tells what is done.
    const int rows = LoadedRows();
    if (commits == Commits::OnePerStatement)
        EXPECT_EQ(rows, logged - 1);
    else
        EXPECT_LT(rows, logged);

    // The database back, the next run does what was lost, each row once.
    if (loss.throughServer)
        return;
    StartAgain();
    m_form->btOKClick();
    EXPECT_EQ(DatabaseVersion(), "255") << m_window.MemoText();
    EXPECT_EQ(LoadedRows(), LongScriptRows);
    EXPECT_EQ(m_database.QueryCount("select count(distinct N) from LOAD_ROWS"), LongScriptRows);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DatabaseLossTest,
    ::testing::Combine(
        ::testing::Values(DatabaseLoss{"AttachmentShutDown", false,
                                       [](FaultTest& test, PrivateFirebirdServer*,
                                          std::unique_ptr<FileSizeLimit>&) {
                                           test.m_database.Execute(
                                               "delete from mon$attachments where "
                                               "mon$attachment_id <> current_connection "
                                               "and mon$system_flag = 0;");
                                       }},
                          DatabaseLoss{"ServerStopped", true,
                                       [](FaultTest&, PrivateFirebirdServer* server,
                                          std::unique_ptr<FileSizeLimit>&) { server->Kill(); }},
                          DatabaseLoss{"DiskFull", false,
                                       [](FaultTest& test, PrivateFirebirdServer*,
                                          std::unique_ptr<FileSizeLimit>& limit) {
                                           limit = std::make_unique<FileSizeLimit>(
                                               fs::file_size(test.m_database.Path()));
                                       }}),
        ::testing::Values(Commits::Grouped, Commits::OnePerStatement)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) == Commits::Grouped ? "Grouped" : "OnePerStatement");
    });

TEST_F(FaultTest, AReadOnlyDatabaseIsRefusedBeforeAnything) {
    MakeDatabaseAt(254);
    const CommandResult gfix =
        RunCommand({"/usr/bin/gfix", "-mode", "read_only", "-user", "SYSDBA", m_database.Path()});
    ASSERT_EQ(gfix.status, 0) << gfix.output;
    Start();
    m_form->btOKClick();

    const auto lines = m_window.MemoLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], m_form->WorkDir);
    EXPECT_EQ(lines.back(), "error: базу даних " + m_database.Path() +
                                " відкрито лише для читання (read-only): її неможливо оновити");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Копіювання пакету"), 0);
    ExpectStoppedBeforeTheProgramFiles();
    EXPECT_FALSE(LoadTableExists());
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Failed);
}

// A user of the server the installer attaches as, granted nothing: what it lacks is named.
struct MissingRight {
    const char* name;
    // Prepares the database as the owner.
    std::function<void(const std::string& databaseName)> arrange;
    // The start of the error line and its end, the client's text between them.
    std::string start;
    std::string end;
    std::string clientText;
};

void PrintTo(const MissingRight& param, std::ostream* out) {
    *out << param.name;
}

class MissingRightTest : public WithTestServer<FaultTest>,
                         public ::testing::WithParamInterface<MissingRight> {
protected:
    void TearDown() override {
        if (m_made)
            AsOwner("drop user " + m_clerk + " using plugin Srp;");
        WithTestServer<FaultTest>::TearDown();
    }

    // Runs isql-fb as the owner on the test's database through the server.
    void AsOwner(const std::string& script) {
        const std::string file = (m_temp.Path() / "users.sql").string();
        WriteFile(file, script + "\ncommit;\n");
        const CommandResult isql =
            RunCommand({"/usr/bin/isql-fb", "-q", "-user", "SYSDBA", "-password", "quillbark", "-i",
                        file, Server() + ":" + m_database.Path()});
        ASSERT_EQ(isql.status, 0) << isql.output;
        ASSERT_EQ(isql.output, "");
    }

    const std::string m_clerk = "NRV_CLERK_" + std::to_string(::getpid());
    bool m_made = false;
};

TEST_P(MissingRightTest, IsNamedWithTheClientsTextAndNothingIsMade) {
    const MissingRight& right = GetParam();
    UseServer(Server());
    MakeDatabaseAt(254);
    AsOwner("create user " + m_clerk + " password 'clerk' using plugin Srp;");
    m_made = !HasFatalFailure();
    ASSERT_TRUE(m_made);
    right.arrange(Server() + ":" + m_database.Path());
    const std::int64_t tables = m_database.QueryCount("select count(*) from rdb$relations");
    Start();
    // The installer's account, as a site may have it: allowed to attach, granted nothing.
    m_values.GlobDB->Connect(Server(), m_database.Path(), m_clerk, "clerk");
    m_form->btOKClick();

    const auto lines = m_window.MemoLines();
    ASSERT_FALSE(lines.empty());
    const std::string& error = lines.back();
    EXPECT_EQ(error.rfind(right.start, 0), 0u) << error;
    const std::string end = "; користувачеві " + m_clerk + " бракує права " + right.end;
    EXPECT_TRUE(error.ends_with(end)) << error;
    EXPECT_NE(error.find(right.clientText), std::string::npos) << error;
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Failed);
    ExpectStoppedBeforeTheProgramFiles();
    EXPECT_EQ(m_database.QueryCount("select count(*) from rdb$relations"), tables);
}

INSTANTIATE_TEST_SUITE_P(
    Rights, MissingRightTest,
    ::testing::Values(
        MissingRight{"ToMakeTables", [](const std::string&) {},
                     "error: не вдалося створити таблиці програми оновлення NORVANE$UPDATE_LOCK і "
                     "NORVANE$UPDATE_JOURNAL: ",
                     "CREATE TABLE", "There is no privilege for this operation"},
        MissingRight{"OnTablesTheOwnerMade",
                     [](const std::string& databaseName) {
                         db::Database owner("");
                         owner.SetDatabaseName(databaseName);
                         owner.SetParams({"SYSDBA", "quillbark"});
                         owner.Open();
                         const std::array tables{db::DatabaseRunLock::Table(),
                                                 update::UpdateJournal::Table()};
                         db::EnsureOwnTables(owner, tables);
                     },
                     "error: не вдалося заблокувати базу даних для оновлення: ",
                     "SELECT ON NORVANE$UPDATE_LOCK", "no permission for SELECT access"}),
    [](const auto& info) { return std::string(info.param.name); });

// Whatever would make the program files fail is found before the first statement.
struct FailedCheck {
    const char* name;
    std::function<std::string(FaultTest&, std::unique_ptr<ScratchMount>&, std::string&)> arrange;
};

void PrintTo(const FailedCheck& param, std::ostream* out) {
    *out << param.name;
}

class FailedCheckTest : public FaultTest, public ::testing::WithParamInterface<FailedCheck> {};

TEST_P(FailedCheckTest, ChangesNothingAndSaysWhatToFix) {
    const FailedCheck& check = GetParam();
    MakeDatabaseAt(254);
    std::unique_ptr<ScratchMount> mount;
    std::string whyNot;
    std::string expected;
    // The disk of the work folder must be in place before the checks fix the temporary folder.
    if (std::string(check.name) == "WorkFolderDiskTooSmall") {
        expected = check.arrange(*this, mount, whyNot);
        if (!mount)
            GTEST_SKIP() << whyNot;
        Start();
    } else {
        Start();
        expected = check.arrange(*this, mount, whyNot);
        if (!whyNot.empty())
            GTEST_SKIP() << whyNot;
    }
    m_form->btOKClick();

    const auto lines = m_window.MemoLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().substr(0, expected.size()), expected) << lines.back();
    ExpectStoppedBeforeTheProgramFiles();
    EXPECT_FALSE(LoadTableExists());
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Failed);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FailedCheckTest,
    ::testing::Values(
        FailedCheck{"ProgramFolderReadOnly",
                    [](FaultTest& test, std::unique_ptr<ScratchMount>& mount, std::string& whyNot) {
                        mount = ScratchMount::ReadOnly(test.m_program.Str(), whyNot);
                        return "error: каталог " + test.m_program.Str() +
                               " недоступний для запису: Read-only file system";
                    }},
        FailedCheck{"AFolderWhereTheMainProgramGoes",
                    [](FaultTest& test, std::unique_ptr<ScratchMount>&, std::string&) {
                        fs::create_directory(test.ProgramFile("Norvanework.exe"));
                        return "error: файл " + test.ProgramFile("Norvanework.exe") +
                               " неможливо замінити: Is a directory";
                    }},
        FailedCheck{"NoReportFolderInAReadOnlyProgramFolder",
                    [](FaultTest& test, std::unique_ptr<ScratchMount>& mount, std::string& whyNot) {
                        fs::remove(test.ProgramFile("Report"));
                        mount = ScratchMount::ReadOnly(test.m_program.Str(), whyNot);
                        return "error: каталог " + test.m_program.Str() +
                               " недоступний для запису: Read-only file system";
                    }},
        FailedCheck{"WorkFolderDiskTooSmall",
                    [](FaultTest& test, std::unique_ptr<ScratchMount>& mount, std::string& whyNot) {
                        // The package and its members take over 800 KB, and 1 MB stays free
                        // for the logs.
                        mount = ScratchMount::SmallDisk(test.m_temp.Str(), 1024 * 1024, whyNot);
                        return "error: недостатньо місця на диску для каталогу " +
                               (test.m_temp.Path() / "nrv7.nvx").string() + ": потрібно ";
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

// Anything the clean-up could not remove that the install would take for part of the
// package stops it, named; nothing stale is run or copied.
struct Leftover {
    const char* name;
    const char* path; // in the work folder
};

void PrintTo(const Leftover& param, std::ostream* out) {
    *out << param.name;
}

class LeftoverTest : public FaultTest, public ::testing::WithParamInterface<Leftover> {};

TEST_P(LeftoverTest, IsNamedAndNothingRuns) {
    StartAtVersion(254);
    // A folder by such a name is one thing the clean-up cannot delete.
    fs::create_directories(WorkFile(GetParam().path));
    m_form->btOKClick();

    const auto lines = m_window.MemoLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "error: у робочому каталозі лишився файл, якого немає в пакеті: " +
                                WorkFile(GetParam().path));
    ExpectStoppedBeforeTheProgramFiles();
    EXPECT_FALSE(LoadTableExists());
}

INSTANTIATE_TEST_SUITE_P(Faults, LeftoverTest,
                         ::testing::Values(Leftover{"Script", "up/old.sql"},
                                           Leftover{"BlobFile", "up/T.F.ID 1.blo"},
                                           Leftover{"Template", "Report/old.fr3"},
                                           Leftover{"Program", "old.exe"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FaultTest, AWorkFolderThatIsADanglingLinkIsRefused) {
    StartAtVersion(254);
    const fs::path nowhere = m_temp.Path() / "nowhere";
    fs::create_directory_symlink(nowhere, m_form->WorkDir);
    m_form->btOKClick();
    EXPECT_EQ(m_window.MemoLines().back(),
              "error: каталог " + m_form->WorkDir + " є символічним посиланням");
    EXPECT_FALSE(fs::exists(nowhere));
    ExpectStoppedBeforeTheProgramFiles();
}

// A work folder the install must not or cannot use is refused before anything is written.
struct WorkFolderRefusal {
    const char* name;
    // Prepares the work folder; the memo's error line it must give.
    std::function<std::string(FaultTest& test)> arrange;
};

void PrintTo(const WorkFolderRefusal& param, std::ostream* out) {
    *out << param.name;
}

class WorkFolderRefusalTest : public FaultTest,
                              public ::testing::WithParamInterface<WorkFolderRefusal> {};

TEST_P(WorkFolderRefusalTest, StopsBeforeThePackage) {
    StartAtVersion(254);
    const std::string expected = GetParam().arrange(*this);
    if (HasFatalFailure() || IsSkipped())
        return;
    m_form->btOKClick();
    const auto lines = m_window.MemoLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], m_form->WorkDir);
    EXPECT_EQ(lines.back(), expected);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Копіювання пакету"), 0);
    ExpectStoppedBeforeTheProgramFiles();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, WorkFolderRefusalTest,
    ::testing::Values(
        WorkFolderRefusal{"TheTemporaryFolderIsMissing",
                          [](FaultTest& test) {
                              test.m_form->WorkDir = test.m_temp / "missing/nrv7.nvx";
                              return "error: не вдалося створити каталог " + test.m_form->WorkDir +
                                     ": No such file or directory";
                          }},
        WorkFolderRefusal{"AFileInItsPlace",
                          [](FaultTest& test) {
                              WriteFile(test.m_form->WorkDir, "not a folder");
                              return "error: " + test.m_form->WorkDir + " не є каталогом";
                          }},
        WorkFolderRefusal{"AnotherUsersFolder",
                          [](FaultTest& test) {
                              fs::create_directory(test.m_form->WorkDir);
                              if (::chown(test.m_form->WorkDir.c_str(), 65534, 65534) != 0)
                                  ADD_FAILURE() << "handing the folder to another user needs root";
                              return "error: каталог " + test.m_form->WorkDir +
                                     " належить іншому користувачеві";
                          }},
        WorkFolderRefusal{"ItsLockFileIsALink",
                          [](FaultTest& test) {
                              // The lock is never taken through a link to someone else's file.
                              fs::create_directory(test.m_form->WorkDir);
                              const std::string lock =
                                  test.m_form->WorkDir + "/norvane-update.lock";
                              fs::create_symlink(test.m_temp / "elsewhere", lock);
                              return "error: не вдалося відкрити файл блокування " + lock +
                                     ": Too many levels of symbolic links";
                          }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FaultTest, AVersionChangedSinceTheChecksIsLeftToTheInstallerThatChangedIt) {
    StartAtVersion(254);
    // Another installer has applied 255 between this one's checks and its install.
    m_database.Execute("insert into versions (code, build, data, update_date) values "
                       "(1, 1, 255, '2031-01-01');");
    m_form->btOKClick();
    EXPECT_EQ(m_window.MemoLines().back(),
              "error: версію бази даних змінила інша програма оновлення (тепер 255); запустіть "
              "оновлення ще раз");
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Busy);
    EXPECT_EQ(console::ExitStatusFor(m_form->Report()),
              console::ExitStatus::AnotherInstallerRunning);
    EXPECT_FALSE(LoadTableExists());
    EXPECT_FALSE(fs::is_regular_file(ProgramFile("Norvanework.exe")));
}

// The attachment the checks made is cut (an administrator ended it, the server restarted)
// before the install: the run stops with the client's reason before anything is changed.
TEST_F(FaultTest, AnAttachmentCutAfterTheChecksStopsTheRunBeforeAnything) {
    StartAtVersion(254);
    m_database.Execute("delete from mon$attachments where mon$attachment_id <> "
                       "current_connection and mon$system_flag = 0;");
    m_form->btOKClick();
    ExpectStoppedBeforeTheProgramFiles();
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Failed);
    EXPECT_NE(m_window.MemoLines().back().find("connection shutdown"), std::string::npos)
        << m_window.MemoText();
    EXPECT_FALSE(LoadTableExists());
    EXPECT_EQ(m_database.QueryCount("select count(*) from rdb$relations where "
                                    "rdb$relation_name starting with 'NORVANE$'"),
              0);
}

TEST_F(FaultTest, ALogThatCannotBeWrittenIsCountedAndSaid) {
    StartAtVersion(254);
    // The failing statement of 255.01.sql has nowhere to be logged.
    fs::create_directories(WorkFile("up/255.01.sql.log"));
    m_form->btOKClick();

    const auto lines = m_window.MemoLines();
    const auto said =
        std::find(lines.begin(), lines.end(),
                  "error: не вдалося записати журнал помилок " + WorkFile("up/255.01.sql.log"));
    EXPECT_NE(said, lines.end());
    EXPECT_EQ(m_form->Report().failedLogs, 1);
    EXPECT_EQ(m_form->Report().failedStatements, 1);
    EXPECT_EQ(console::ExitStatusFor(m_form->Report()), console::ExitStatus::UpdatedWithFailures);
    EXPECT_EQ(DatabaseVersion(), "255");
    EXPECT_EQ(LoadedRows(), LongScriptRows);
}

TEST_F(FaultTest, TheArchiverGetsNoHandleOfTheInstaller) {
    StartAtVersion(254);
    // An archiver beside the installer that notes where its open descriptors lead first.
    TempFolder notes;
    WriteFile(ProgramFile("rar"),
              "#!/bin/sh\nfor fd in /proc/$$/fd/*; do readlink \"$fd\"; done > " + notes / "fds" +
                  "\nexec unrar \"$@\"\n");
    fs::permissions(ProgramFile("rar"), fs::perms::owner_all);
    m_form->btOKClick();

    EXPECT_EQ(DatabaseVersion(), "255");
    const std::string fds = ReadFile(notes.Path() / "fds");
    ASSERT_FALSE(fds.empty());
    for (const char* secret : {".fdb", "norvane-update.lock", "firebird"})
        EXPECT_EQ(fds.find(secret), std::string::npos) << secret << " in\n" << fds;
}

class CyrillicDatabaseTest : public InstallerTest {
public:
    CyrillicDatabaseTest() : InstallerTest("база даних.fdb") {}
};

TEST_F(CyrillicDatabaseTest, AttachesAndUpdatesUnderAnyLocale) {
    StartAtVersion(254);
    ASSERT_TRUE(m_window.Enabled(ui::Control::btOK)) << m_window.MemoText();
    m_form->btOKClick();
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Finished) << m_window.MemoText();
    EXPECT_EQ(DatabaseVersion(), "255");
}

} // namespace
} // namespace norvane::testing
