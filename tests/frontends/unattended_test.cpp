// Runs the real installer (built from the program's main with the demo package 255) as a
// child process from prepared program folders.
#include "demo_product.h"
#include "frontends/console/unattended.h"
#include "platform/environment.h"
#include "support/child_process.h"
#include "support/database_dump.h"
#include "support/environment_override.h"
#include "support/running_program.h"
#include "support/test_server.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace norvane::testing {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

/// A product folder with the real installer in it.
class InstalledProduct : public DemoProduct {
public:
    InstalledProduct() {
        fs::copy_file(NORVANE_INSTALLER, InstallerPath());
        fs::permissions(InstallerPath(), fs::perms::owner_all);
    }

    /// Starts the installer from the program folder, its temporary folder the product's own
    /// unless the environment names another. No display: unattended mode needs none.
    std::unique_ptr<ChildProcess>
    Start(const std::vector<std::string>& arguments = {"--unattended"},
          std::vector<std::string> environment = {},
          ChildProcess::Output output = ChildProcess::Output::File,
          const std::vector<std::string>& launcher = {}) const {
        environment.insert(environment.end(),
                           {"TMPDIR=" + Temp.Str(), "QT_QPA_PLATFORM=xcb", "DISPLAY="});
        std::vector<std::string> argv = launcher;
        argv.push_back(InstallerPath());
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return std::make_unique<ChildProcess>(argv, environment, output);
    }

    Outcome Run(const std::vector<std::string>& arguments = {"--unattended"},
                const std::vector<std::string>& environment = {}) const {
        auto child = Start(arguments, environment);
        Outcome outcome;
        outcome.status = child->Wait();
        outcome.out = child->Out();
        outcome.err = child->Err();
        return outcome;
    }

    /// An archiver beside the installer that waits for Release before it unpacks, so that
    /// the installer is caught in the middle of its run, holding its locks.
    void HoldInTheArchiver() {
        ASSERT_EQ(::mkfifo(m_gate.c_str(), 0600), 0);
        WriteFile(Program.Path() / "rar", "#!/bin/sh\ntouch '" + m_held + "'\nread line < '" +
                                              m_gate + "'\nexec unrar \"$@\"\n");
        fs::permissions(Program.Path() / "rar", fs::perms::owner_all);
    }
    /// Waits until the installer has reached the archiver.
    bool WaitUntilHeld(ChildProcess& installer) const {
        while (!fs::exists(m_held)) {
            if (installer.Ended())
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    void Release() const { WriteFile(m_gate, "go\n"); }
    /// Releases the archiver if it still waits; nothing when it is gone.
    void LetGo() const {
        const int gate = ::open(m_gate.c_str(), O_WRONLY | O_NONBLOCK);
        if (gate >= 0) {
            [[maybe_unused]] const auto written = ::write(gate, "go\n", 3);
            ::close(gate);
        }
    }

    std::string History() const {
        const fs::path history = Program.Path() / "norvane-update.log";
        return fs::exists(history) ? ReadFile(history) : std::string();
    }

    // An archiver left waiting by a killed installer is let go, so that it ends too.
    ~InstalledProduct() { LetGo(); }

private:
    std::string m_gate = Temp / "gate";
    std::string m_held = Temp / "held";
};

class UnattendedTest : public ::testing::Test {
protected:
    void AppendToIni(const std::string& lines) {
        const fs::path ini = m_product.Program.Path() / "nrv.ini";
        WriteFile(ini, ReadFile(ini) + lines);
    }
    Outcome Run(const std::vector<std::string>& arguments = {"--unattended"},
                const std::vector<std::string>& environment = {}) {
        return m_product.Run(arguments, environment);
    }

    InstalledProduct m_product;
    TempFolder m_output;
};

TEST_F(UnattendedTest, UpdatesAndThenFindsTheDatabaseUpToDate) {
    const Outcome first = Run();
    EXPECT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_EQ(first.err, "");
    const auto lines = Lines(first.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Перевірка запущенної програми...OK");
    for (const std::string& line :
         {std::string("Підключення до бази даних"), m_product.Database.Path(),
          std::string("Версія бази даних: 254"), std::string("255_RAR [OK]"),
          std::string("Створення тимчасового каталога"), m_product.WorkFolder(),
          std::string("Наявність архиватора RAR...[OK]"), std::string("Копіювання пакету"),
          m_product.WorkFolder() + "/255.rar", std::string("Розпаковка пакету...[OK]"),
          std::string("Встановлення оновлення"), std::string("INFO_DOC.NOTE_U.ID 10.blo (1/1)"),
          std::string("Norvanework.exe...[OK]")})
        EXPECT_TRUE(Contains(lines, line)) << line << "\n" << first.out;
    EXPECT_EQ(m_product.DatabaseVersion(), "255");
    EXPECT_EQ(ReadFile(m_product.Program / "Norvanework.exe"), ExampleFile("Norvanework.exe"));

    const Outcome second = Run();
    EXPECT_EQ(second.status, 10) << second.out << second.err;
    const auto again = Lines(second.out);
    ASSERT_GE(again.size(), 2u);
    EXPECT_EQ(again[again.size() - 2], "Версія БД більша за номер пакета оновлень");
    EXPECT_EQ(again.back(), "Оновлення не можливо!!!");
    EXPECT_TRUE(Contains(again, "Версія бази даних: 255"));
    EXPECT_EQ(second.err, "");
}

// As on a second computer sharing the updated database: its program file is older.
TEST_F(UnattendedTest, OtherProgramFilesOnAnUpdatedDatabaseAreCopiedAlone) {
    ASSERT_EQ(Run().status, 0);
    const std::string updated = Dump(m_product.Database.Path());
    WriteFile(m_product.Program / "Norvanework.exe", "Program 254\r\n");

    const Outcome files = Run();
    EXPECT_EQ(files.status, 0) << files.out << files.err;
    EXPECT_EQ(files.err, "");
    const auto lines = Lines(files.out);
    EXPECT_TRUE(Contains(lines, "База даних уже оновлена; програмні файли цього комп'ютера "
                                "відрізняються від пакета 255: будуть оновлені лише вони"))
        << files.out;
    EXPECT_TRUE(Contains(lines, "Norvanework.exe...[OK]")) << files.out;
    EXPECT_FALSE(Contains(lines, "Встановлення оновлення")) << files.out;
    EXPECT_EQ(ReadFile(m_product.Program / "Norvanework.exe"), ExampleFile("Norvanework.exe"));
    EXPECT_EQ(Dump(m_product.Database.Path()), updated);

    EXPECT_EQ(Run().status, 10);
}

TEST_F(UnattendedTest, FailedStatementsGiveThreeAndKeepTheirLogs) {
    // Release 254 without its price list: the statements on PRICE_ITEM fail.
    m_product.Database.Execute("drop table PRICE_ITEM;");
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.status, 3) << outcome.out << outcome.err;
    EXPECT_EQ(m_product.DatabaseVersion(), "255");
    const std::string log = ReadFile(fs::path(m_product.WorkFolder()) / "up" / "255.01.sql.log");
    EXPECT_NE(log.find("PRICE_ITEM"), std::string::npos) << log;
}

TEST_F(UnattendedTest, ARunningMainProgramGivesElevenAndAWarning) {
    RunningProgram mainProgram("Norvanework.exe");
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.status, 11) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.out,
              "Перевірка запущенної програми...\nПрограмма запущена\nОновлення не можливо!!!\n");
    EXPECT_EQ(outcome.err, "warning: ПК Norvane запущена. Будь ласка, закрийте програму та "
                           "перезапустіть оновлення!\n");
    EXPECT_EQ(m_product.DatabaseVersion(), "254");
}

TEST_F(UnattendedTest, AnOlderDatabaseGivesTwelve) {
    m_product.SetVersion(253);
    const Outcome outcome = Run({"/unattended"});
    EXPECT_EQ(outcome.status, 12) << outcome.out << outcome.err;
    const auto lines = Lines(outcome.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Версія БД меньше номеру пакета оновлень");
    EXPECT_EQ(lines.back(), "Оновлення не можливо!!!");
    EXPECT_EQ(m_product.DatabaseVersion(), "253");
}

TEST_F(UnattendedTest, AMissingDatabaseGivesTwoAndItsError) {
    const std::string missing = m_product.Temp / "missing.fdb";
    m_product.WriteIni(missing);
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.status, 2) << outcome.out << outcome.err;
    const auto lines = Lines(outcome.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), missing);
    EXPECT_EQ(outcome.err.rfind("error: ", 0), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find("missing.fdb"), std::string::npos) << outcome.err;
}

TEST_F(UnattendedTest, NoArchiverGivesTwoAndLeavesTheDatabase) {
    const Outcome outcome = Run({"--unattended"}, {"PATH=" + m_output.Str()});
    EXPECT_EQ(outcome.status, 2) << outcome.out << outcome.err;
    const auto lines = Lines(outcome.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Наявність архиватора RAR...");
    EXPECT_EQ(outcome.err, "error: немає архіватора RAR\n");
    EXPECT_EQ(m_product.DatabaseVersion(), "254");
}

TEST_F(UnattendedTest, AnArchiverInARelativeFolderOfThePathIsFoundFromWhereTheRunStarted) {
    // PATH=bin, started from a folder holding bin/unrar: the archiver runs in the work folder,
    // where bin/unrar is nothing.
    fs::create_directory(m_output.Path() / "bin");
    WriteFile(m_output.Path() / "bin/unrar", "#!/bin/sh\nexec /usr/bin/unrar \"$@\"\n");
    fs::permissions(m_output.Path() / "bin/unrar", fs::perms::owner_all);
    auto installer = m_product.Start({"--unattended"}, {"PATH=bin"}, ChildProcess::Output::File,
                                     {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", m_output.Str()});
    EXPECT_EQ(installer->Wait(), 0) << installer->Out() << installer->Err();
    EXPECT_EQ(m_product.DatabaseVersion(), "255");
}

TEST_F(UnattendedTest, AnArchiverThatCannotStartIsNamedWithTheReason) {
    const std::string archiver = m_product.Program / "rar";
    WriteFile(archiver, "no program at all\n");
    fs::permissions(archiver, fs::perms::owner_all);
    const Outcome outcome = Run();
    EXPECT_EQ(outcome.status, 2) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.err,
              "error: не вдалося запустити архіватор " + archiver + ": Exec format error\n");
    EXPECT_EQ(m_product.DatabaseVersion(), "254");
}

TEST_F(UnattendedTest, AMissingClientLibraryGivesTwo) {
    const Outcome outcome = Run({"--unattended"}, {"NORVANE_FBCLIENT=/nonexistent/libfbclient.so"});
    EXPECT_EQ(outcome.status, 2) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find("/nonexistent/libfbclient.so"), std::string::npos) << outcome.err;
}

// A command line that is not understood ends at once with its reason and the usage: no window,
// no database, no history.
TEST_F(UnattendedTest, ACommandLineNotUnderstoodGivesTwoAndTheUsage) {
    struct Case {
        std::vector<std::string> arguments;
        std::string error;
    };
    for (const Case& c : std::vector<Case>{
             {{"--unattended", "--quiet"}, "невідомий параметр --quiet"},
             {{"/silent"}, "невідомий параметр /silent"},
             {{"--unattended", "--log"}, "параметр --log потребує імені файлу"},
             {{"--unattended", "now"}, "невідомий параметр now"},
             {{"--backup", m_output.Str()}, "параметр --backup діє лише разом з --unattended"},
         }) {
        const Outcome outcome = Run(c.arguments);
        EXPECT_EQ(outcome.status, 2) << c.arguments.back() << outcome.err;
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, "error: " + c.error + "\n\n" + console::UsageText());
    }
    EXPECT_EQ(m_product.DatabaseVersion(), "254");
    EXPECT_FALSE(fs::exists(m_product.Program / "norvane-update.log"));
    EXPECT_FALSE(fs::exists(m_product.WorkFolder()));
}

TEST_F(UnattendedTest, HelpAndVersionPrintAndEnd) {
    for (const char* help : {"--help", "/?"}) {
        const Outcome outcome = Run({help});
        EXPECT_EQ(outcome.status, 0) << help;
        EXPECT_EQ(outcome.out, console::UsageText());
        EXPECT_EQ(outcome.err, "");
    }
    const Outcome version = Run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, console::VersionText());
    EXPECT_EQ(version.out.rfind("norvane-update ", 0), 0u);
    EXPECT_FALSE(fs::exists(m_product.Program / "norvane-update.log"));
}

// The window program says why it has no window instead of aborting.
TEST_F(UnattendedTest, TheWindowWithoutADisplayGivesTwoAndSaysWhy) {
    ChildProcess noDisplay(
        {m_product.InstallerPath()},
        {"TMPDIR=" + m_product.Temp.Str(), "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
    EXPECT_EQ(noDisplay.Wait(), 2);
    EXPECT_EQ(noDisplay.Err(), "error: немає дисплея для вікна (не задано DISPLAY і "
                               "WAYLAND_DISPLAY); без вікна: norvane-update --unattended\n");

    // Qt is told to use X, whose display is not there.
    const Outcome unreachable = Run({});
    EXPECT_EQ(unreachable.status, 2) << unreachable.err;
    const auto lines = Lines(unreachable.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("error: не вдалося відкрити вікно: ", 0), 0u) << unreachable.err;
    EXPECT_TRUE(lines.back().ends_with("; без вікна: norvane-update --unattended"))
        << unreachable.err;
    EXPECT_EQ(m_product.DatabaseVersion(), "254");
}

// The command line's folder wins over the one nrv.ini names.
TEST_F(UnattendedTest, ABackupGoesToTheCommandLinesFolderBeforeTheUpdate) {
    TempFolder configured;
    TempFolder given;
    AppendToIni("[Update]\r\nBackupFolder=" + configured.Str() + "\r\n");
    const Outcome outcome = Run({"--unattended", "--backup", given.Str()});
    EXPECT_EQ(outcome.status, 0) << outcome.out << outcome.err;
    EXPECT_TRUE(fs::is_empty(configured.Path()));
    std::vector<std::string> backups;
    for (const auto& entry : fs::directory_iterator(given.Path()))
        backups.push_back(entry.path().string());
    ASSERT_EQ(backups.size(), 1u);
    const auto lines = Lines(outcome.out);
    const auto backupLine =
        std::find(lines.begin(), lines.end(), "Резервна копія бази даних...[OK]");
    ASSERT_NE(backupLine, lines.end()) << outcome.out;
    EXPECT_EQ(*(backupLine + 1), backups.front());
    EXPECT_EQ(*(backupLine - 1), "Наявність архиватора RAR...[OK]");
    EXPECT_EQ(m_product.DatabaseVersion(), "255");
}

TEST_F(UnattendedTest, ABackupThatFailsGivesTwoAndChangesNothing) {
    const std::string missing = m_output / "missing";
    const Outcome outcome = Run({"--unattended", "--backup=" + missing});
    EXPECT_EQ(outcome.status, 2) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.err.rfind("error: резервну копію бази даних не створено: cannot open backup "
                                "file " +
                                    missing + "/",
                                0),
              0u)
        << outcome.err;
    EXPECT_EQ(Lines(outcome.out).back(), "Резервна копія бази даних...");
    EXPECT_EQ(m_product.DatabaseVersion(), "254");
    EXPECT_EQ(m_product.Database.QueryCount("select count(*) from rdb$relations where "
                                            "rdb$relation_name = 'NORVANE$UPDATE_JOURNAL'"),
              0);
    EXPECT_FALSE(fs::exists(m_product.Program / "Norvanework.exe"));
}

TEST_F(UnattendedTest, AClosedOutputDoesNotStopTheUpdate) {
    auto installer = m_product.Start({"--unattended"}, {}, ChildProcess::Output::ClosedPipe);
    EXPECT_EQ(installer->Wait(), 0) << installer->Err();
    EXPECT_EQ(m_product.DatabaseVersion(), "255");
    EXPECT_EQ(ReadFile(m_product.Program / "Norvanework.exe"), ExampleFile("Norvanework.exe"));
}

// A request to end the program finishes the statement in progress, then stops: nothing more
// of the package, the version unchanged, exit 2 and a line saying so.
class InterruptTest : public UnattendedTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(InterruptTest, FinishesTheStatementAndStops) {
    // The signal comes when the second commit of 255.01.sql's statements has returned, each
    // counted from the first statement recorded in the journal.
    const Outcome outcome =
        Run({"--unattended"},
            {"NORVANE_FBCLIENT=" NORVANE_FAULT_INJECTION, "LD_PRELOAD=" NORVANE_FAULT_INJECTION,
             "NORVANE_FAULT_COUNT_FROM=insert into NORVANE$UPDATE_JOURNAL",
             "NORVANE_FAULT_COMMIT=2", std::string("NORVANE_FAULT_SIGNAL=") + GetParam()});
    EXPECT_EQ(outcome.status, 2) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.err, "error: оновлення перервано\n");
    const auto lines = Lines(outcome.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "255.01.sql");
    EXPECT_EQ(m_product.DatabaseVersion(), "254");
    EXPECT_FALSE(fs::exists(m_product.Program / "Norvanework.exe"));
    // The statements up to the one the signal met are committed with their records (a record
    // holds as many as its ORDINAL says), and no later one ran: 255.01.sql creates UNIT,
    // inserts two rows, then alters PRICE_ITEM.
    const auto done = m_product.Database.QueryCount(
        "select sum(ORDINAL) from NORVANE$UPDATE_JOURNAL where ITEM = '255.01.sql'");
    ASSERT_GE(done, 1);
    ASSERT_LT(done, 4);
    EXPECT_EQ(m_product.Database.QueryCount("select count(*) from UNIT"), done - 1);
    EXPECT_EQ(m_product.Database.QueryCount("select count(*) from rdb$relation_fields where "
                                            "rdb$relation_name = 'PRICE_ITEM' and "
                                            "rdb$field_name = 'UNIT_ID'"),
              0);
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptTest, ::testing::Values("TERM", "INT", "HUP"),
                         [](const auto& info) { return std::string(info.param); });

// A request to end while the archiver unpacks ends the run within moments, every time, its
// history written and its status given: the engine's threads never take the signal, so the
// detach at the end returns.
TEST(InterruptWhileUnpackingTest, EndsEveryTimeWithItsHistory) {
    for (int run = 1; run <= 6; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        InstalledProduct product;
        product.HoldInTheArchiver();
        auto installer = product.Start();
        ASSERT_TRUE(product.WaitUntilHeld(*installer)) << installer->Out() << installer->Err();
        installer->Signal(SIGTERM);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        // An archiver the installer left running unpacks now.
        product.LetGo();
        ASSERT_TRUE(installer->EndsWithin(std::chrono::seconds(40)))
            << installer->Out() << installer->Err();
        EXPECT_EQ(installer->Wait(), 2) << installer->Out() << installer->Err();
        EXPECT_EQ(installer->Err(), "error: оновлення перервано\n");
        EXPECT_EQ(product.DatabaseVersion(), "254");
        EXPECT_NE(product.History().find("помилка: оновлення перервано"), std::string::npos)
            << product.History();
        EXPECT_NE(product.History().find("(код 2)"), std::string::npos) << product.History();
    }
}

TEST_F(UnattendedTest, ADetachThatNeverReturnsIsLeftAndTheRunEndsWithItsStatus) {
    auto installer = m_product.Start({"--unattended"}, {"NORVANE_FBCLIENT=" NORVANE_FAULT_INJECTION,
                                                        "NORVANE_FAULT_DETACH=hang"});
    ASSERT_TRUE(installer->EndsWithin(std::chrono::seconds(60)))
        << installer->Out() << installer->Err();
    EXPECT_EQ(installer->Wait(), 0) << installer->Out() << installer->Err();
    EXPECT_EQ(m_product.DatabaseVersion(), "255");
    EXPECT_NE(m_product.History().find("(код 0)"), std::string::npos) << m_product.History();
}

TEST_F(UnattendedTest, AFileSizeLimitStopsTheRunAsAFullDiskDoes) {
    // Writes past 1.2 MB fail: the database is larger; the package, its files and the engine's
    // shared memory (1 MB) are not.
    auto installer = m_product.Start({"--unattended"}, {}, ChildProcess::Output::File,
                                     {"/bin/sh", "-c", "ulimit -f 2400 && exec \"$@\"", "sh"});
    ASSERT_TRUE(installer->EndsWithin(std::chrono::seconds(60)))
        << installer->Out() << installer->Err();
    EXPECT_EQ(installer->Wait(), 2) << installer->Out() << installer->Err();
    EXPECT_NE(installer->Err().find("File too large"), std::string::npos) << installer->Err();
    EXPECT_EQ(m_product.DatabaseVersion(), "254");
    EXPECT_NE(m_product.History().find("File too large"), std::string::npos) << m_product.History();
    EXPECT_NE(m_product.History().find("(код 2)"), std::string::npos) << m_product.History();
}

// A second installer while one runs refuses before it changes anything; the first goes on.
struct SecondInstaller {
    const char* name;
    // Prepares the second product to meet the first: the same work folder or database.
    std::function<std::vector<std::string>(InstalledProduct& first, InstalledProduct& second)>
        arrange;
    // The refusal, the time the first took the database's lock written as <час>.
    std::function<std::string(const InstalledProduct& first, pid_t firstPid)> refusal;
};

// A refusal by the database's lock names who holds it.
std::string HolderNamed(pid_t pid) {
    const platform::ProcessIdentity me = platform::ThisProcess();
    return " (комп'ютер " + me.host + ", процес " + std::to_string(pid) + ", користувач " +
           me.user + ", з <час>)";
}

std::string WithoutTheTime(const std::string& refusal) {
    static const std::regex time(R"(, з \d{4}-\d\d-\d\d \d\d:\d\d:\d\d\)\n$)");
    return std::regex_replace(refusal, time, ", з <час>)\n");
}

void PrintTo(const SecondInstaller& param, std::ostream* out) {
    *out << param.name;
}

class SecondInstallerTest : public ::testing::Test,
                            public ::testing::WithParamInterface<SecondInstaller> {};

TEST_P(SecondInstallerTest, RefusesWhileTheFirstRuns) {
    InstalledProduct first;
    InstalledProduct second;
    const std::vector<std::string> environment = GetParam().arrange(first, second);
    if (HasFatalFailure() || IsSkipped())
        return;
    first.HoldInTheArchiver();
    auto running = first.Start();
    ASSERT_TRUE(first.WaitUntilHeld(*running)) << running->Out() << running->Err();

    const Outcome refused = second.Run({"--unattended"}, environment);
    EXPECT_EQ(refused.status, 13) << refused.out << refused.err;
    EXPECT_EQ(WithoutTheTime(refused.err), GetParam().refusal(first, running->Pid()));
    EXPECT_EQ(first.DatabaseVersion(), "254");
    EXPECT_FALSE(fs::exists(second.Program / "Norvanework.exe"));
    EXPECT_TRUE(fs::exists(first.WorkFolder() + "/255.rar"));

    first.Release();
    EXPECT_EQ(running->Wait(), 0) << running->Out() << running->Err();
    EXPECT_EQ(first.DatabaseVersion(), "255");
}

INSTANTIATE_TEST_SUITE_P(
    Locks, SecondInstallerTest,
    ::testing::Values(
        SecondInstaller{"SameWorkFolder",
                        [](InstalledProduct& first, InstalledProduct&) {
                            return std::vector<std::string>{"TMPDIR=" + first.Temp.Str()};
                        },
                        [](const InstalledProduct& first, pid_t) {
                            return "error: каталог " + first.WorkFolder() +
                                   " уже використовує інша запущена програма оновлення\n";
                        }},
        SecondInstaller{"SameDatabase",
                        [](InstalledProduct& first, InstalledProduct& second) {
                            second.WriteIni(first.Database.Path());
                            return std::vector<std::string>{};
                        },
                        // The local database's file lock refuses it before it attaches.
                        [](const InstalledProduct&, pid_t) {
                            return std::string("error: базу даних уже оновлює інша запущена "
                                               "програма оновлення\n");
                        }},
        SecondInstaller{"SameDatabaseThroughTheServer",
                        [](InstalledProduct& first, InstalledProduct& second) {
                            const std::string server = ServerForTest();
                            if (server.empty())
                                ADD_FAILURE() << NoServerReason;
                            first.WriteIni(first.Database.Path(), server);
                            second.WriteIni(first.Database.Path(), server);
                            return std::vector<std::string>{};
                        },
                        [](const InstalledProduct&, pid_t pid) {
                            return "error: базу даних уже оновлює інша запущена програма "
                                   "оновлення" +
                                   HolderNamed(pid) + "\n";
                        }}),
    [](const auto& info) { return std::string(info.param.name); });

// The system's own engine configuration opens a local database for one process: a second
// installer is told by the installer's own lock, taken before the attach, not by the engine.
const std::vector<std::string> EngineForOneProcess{"FIREBIRD="};

TEST(LocalDatabaseTest, ASecondInstallerWhileTheFirstUnpacksGetsThirteen) {
    InstalledProduct first;
    InstalledProduct second;
    second.WriteIni(first.Database.Path());
    first.HoldInTheArchiver();
    auto running = first.Start({"--unattended"}, EngineForOneProcess);
    ASSERT_TRUE(first.WaitUntilHeld(*running)) << running->Out() << running->Err();

    const Outcome refused = second.Run({"--unattended"}, EngineForOneProcess);
    EXPECT_EQ(refused.status, 13) << refused.out << refused.err;
    EXPECT_EQ(refused.err, "error: базу даних уже оновлює інша запущена програма оновлення\n");
    EXPECT_NE(second.History().find("(код 13)"), std::string::npos) << second.History();

    first.Release();
    EXPECT_EQ(running->Wait(), 0) << running->Out() << running->Err();
    EXPECT_EQ(first.DatabaseVersion(), "255");
    EXPECT_FALSE(fs::exists(second.Program / "Norvanework.exe"));
}

TEST(LocalDatabaseTest, OfTwoInstallersStartedAMomentApartOneUpdatesAndTheOtherGetsThirteen) {
    InstalledProduct first;
    InstalledProduct second;
    second.WriteIni(first.Database.Path());
    auto one = first.Start({"--unattended"}, EngineForOneProcess);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto other = second.Start({"--unattended"}, EngineForOneProcess);
    const std::multiset<int> statuses{one->Wait(), other->Wait()};
    // The later one meets the first's lock, or, on a machine quick enough for the first to
    // end before it looks, the database at the newest version, and takes the program files
    // its own folder lacks: never an engine's error.
    EXPECT_TRUE(statuses == (std::multiset<int>{0, 13}) || statuses == (std::multiset<int>{0, 0}))
        << one->Out() << one->Err() << other->Out() << other->Err();
    EXPECT_EQ(first.DatabaseVersion(), "255");
}

// RunUnattended in this process, for what needs no installer of its own.
class RunUnattendedTest : public ::testing::Test {
protected:
    console::ExitStatus Run(const std::string& logFile = {}) {
        app::ProcessValues values;
        return console::RunUnattended(values, {m_product.InstallerPath(), m_product.Temp.Str()},
                                      m_out, m_err, {logFile, "", false});
    }
    std::string History() const {
        return ReadFile(m_product.Program.Path() / "norvane-update.log");
    }

    DemoProduct m_product;
    std::ostringstream m_out;
    std::ostringstream m_err;
};

TEST_F(RunUnattendedTest, ALogThatCannotBeCreatedStopsBeforeAnything) {
    const std::string log = m_product.Temp / "missing/run.log";
    EXPECT_EQ(Run(log), console::ExitStatus::Error);
    EXPECT_EQ(m_out.str(), "");
    EXPECT_EQ(m_err.str(), "error: не вдалося створити журнал " + log + "\n");
    EXPECT_EQ(History(), "");
}

TEST_F(RunUnattendedTest, AnErrorOfTheChecksGoesToTheErrorStreamTheLogAndTheHistory) {
    const std::string missing = m_product.Temp / "missing.fdb";
    m_product.WriteIni(missing);
    const std::string log = m_product.Temp / "run.log";
    EXPECT_EQ(Run(log), console::ExitStatus::Error);
    const std::string error = "error: I/O error during \"open\" operation for file \"" + missing +
                              "\"\nError while trying to open file\nNo such file or directory\n";
    EXPECT_EQ(m_err.str(), error);
    const auto outLines = Lines(m_out.str());
    ASSERT_FALSE(outLines.empty());
    EXPECT_EQ(outLines.back(), missing);
    // The log has every line of both streams, in order, each after its time.
    const auto logLines = Lines(ReadFile(log));
    ASSERT_EQ(logLines.size(), outLines.size() + Lines(error).size());
    for (std::size_t i = 0; i < outLines.size(); ++i)
        EXPECT_EQ(logLines[i].substr(21), outLines[i]) << i;
    EXPECT_EQ(logLines[outLines.size()].substr(21), Lines(error).front());
    EXPECT_NE(History().find("помилка: I/O error during \"open\""), std::string::npos) << History();
    EXPECT_NE(History().find("результат: "), std::string::npos) << History();
}

TEST_F(RunUnattendedTest, AClientLibraryThatCannotBeLoadedGivesTwoAndItsName) {
    EnvironmentOverride missing("NORVANE_FBCLIENT", "/nonexistent/libfbclient.so.2");
    EXPECT_EQ(Run(), console::ExitStatus::Error);
    EXPECT_EQ(m_out.str(), "");
    EXPECT_EQ(m_err.str().rfind("error: Cannot load the Firebird client library "
                                "/nonexistent/libfbclient.so.2: ",
                                0),
              0u)
        << m_err.str();
}

TEST(KilledInstallerTest, LeavesNoLockBehind) {
    InstalledProduct first;
    InstalledProduct second;
    second.WriteIni(first.Database.Path());
    first.HoldInTheArchiver();
    {
        auto killed = first.Start();
        ASSERT_TRUE(first.WaitUntilHeld(*killed)) << killed->Out() << killed->Err();
        killed->Signal(SIGKILL);
        EXPECT_EQ(killed->Wait(), 128 + SIGKILL);
    }
    // The same work folder and the same database, right after.
    const Outcome next = second.Run({"--unattended"}, {"TMPDIR=" + first.Temp.Str()});
    EXPECT_EQ(next.status, 0) << next.out << next.err;
    EXPECT_EQ(first.DatabaseVersion(), "255");
    EXPECT_EQ(ReadFile(second.Program / "Norvanework.exe"), ExampleFile("Norvanework.exe"));
}

} // namespace
} // namespace norvane::testing
