#include "frontends/console/console_window.h"

#include "base/text.h"
#include "frontends/console/unattended.h"
#include "ui/window_contract.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <regex>
#include <sstream>

namespace norvane::console {
namespace {

using Verdict = app::RunReport::Verdict;
using Install = app::RunReport::Install;

// The memo as a reader of both streams sees it: standard output and standard error in the
// order they were written, the line still open (awaiting its marks) counted as a line.
struct ConsoleProbe {
    ui::Window& Window() { return window; }
    std::string Memo() {
        std::string text = both.str();
        if (!text.empty() && !text.ends_with('\n'))
            text += '\n';
        return ReplaceAll(text, "\n", "\r\n");
    }
    std::ostringstream both;
    ConsoleWindow window{both, both};
};

} // namespace
} // namespace norvane::console

namespace norvane::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Console, WindowMemoContract, console::ConsoleProbe);
// The console has no controls to show.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(WindowControlContract);
} // namespace norvane::testing

namespace norvane::console {
namespace {

class ConsoleWindowTest : public ::testing::Test {
protected:
    std::ostringstream m_out;
    std::ostringstream m_err;
    ConsoleWindow m_window{m_out, m_err};
};

TEST_F(ConsoleWindowTest, ALineShowsAsItsStepStartsAndItsMarkFollowsOnIt) {
    m_window.AddStatus("Наявність архиватора RAR...");
    EXPECT_EQ(m_out.str(), "Наявність архиватора RAR...");
    m_window.MarkStatus("[OK]");
    EXPECT_EQ(m_out.str(), "Наявність архиватора RAR...[OK]");
    m_window.AddStatus("Копіювання пакету");
    EXPECT_EQ(m_out.str(), "Наявність архиватора RAR...[OK]\nКопіювання пакету");
    m_window.Finish();
    EXPECT_EQ(m_out.str(), "Наявність архиватора RAR...[OK]\nКопіювання пакету\n");
    m_window.Finish();
    EXPECT_EQ(m_out.str(), "Наявність архиватора RAR...[OK]\nКопіювання пакету\n");
}

TEST_F(ConsoleWindowTest, ErrorLinesGoToTheErrorStreamAfterTheLineBeforeThemEnds) {
    m_window.AddStatus("255.02.sql");
    m_window.AddError("error: помилок у скрипті: 1, журнал: /tmp/255.02.sql.log");
    EXPECT_EQ(m_out.str(), "255.02.sql\n");
    m_window.AddStatus("Розпаковка пакету...");
    m_window.AddError("error");
    m_window.MarkStatus(" (2)");
    m_window.Finish();
    EXPECT_EQ(m_out.str(), "255.02.sql\nРозпаковка пакету...\n");
    EXPECT_EQ(m_err.str(), "error: помилок у скрипті: 1, журнал: /tmp/255.02.sql.log\nerror (2)\n");
}

TEST_F(ConsoleWindowTest, StatusLinesThatReadLikeErrorsStayOnStandardOutput) {
    // A package may carry a script named errata.sql or a program named error.exe.
    m_window.AddStatus("errata.sql");
    m_window.AddStatus("error.exe...");
    m_window.MarkStatus("[OK]");
    m_window.Finish();
    EXPECT_EQ(m_out.str(), "errata.sql\nerror.exe...[OK]\n");
    EXPECT_EQ(m_err.str(), "");
}

TEST_F(ConsoleWindowTest, BoxesGoToTheErrorStreamAfterTheLinesBeforeThem) {
    m_window.AddStatus("Оновлення не можливо!!!");
    m_window.ShowMessageBox("ПК Norvane запущена.", ui::MessageKind::Warning);
    m_window.ShowError("I/O error");
    EXPECT_EQ(m_out.str(), "Оновлення не можливо!!!\n");
    EXPECT_EQ(m_err.str(), "warning: ПК Norvane запущена.\nerror: I/O error\n");
}

TEST_F(ConsoleWindowTest, WindowStateIsKeptButNotPrinted) {
    m_window.SetCaption(ui::Control::lFile, "a.sql");
    m_window.SetVisible(ui::Control::btOK, false);
    m_window.SetEnabled(ui::Control::btCancel, false);
    m_window.SetProgressMax(5);
    m_window.SetProgressPosition(9);
    m_window.Close();
    EXPECT_EQ(m_window.ProgressPosition(), 5);
    EXPECT_EQ(m_out.str(), "");
    EXPECT_EQ(m_err.str(), "");
}

TEST_F(ConsoleWindowTest, AFileShowsAsItStartsUnlessItsMemoLineNamesIt) {
    m_window.AddStatus("255.01.sql");
    m_window.SetFileCaption(ui::Control::lFile, "255.01.sql", 1, 2);
    m_window.AddError("error: помилок у скрипті: 1, журнал: /w/up/255.01.sql.log");
    m_window.SetFileCaption(ui::Control::lFile, "INFO_DOC.NOTE_U.ID 10.blo", 1, 2);
    m_window.SetFileCaption(ui::Control::lFile, "INFO_DOC.NOTE_U.ID 11.blo", 2, 2);
    m_window.SetCaption(ui::Control::lUpdate, "Встановлення оновлення");
    m_window.AddStatus("Norvanework.exe...");
    m_window.SetFileCaption(ui::Control::lFile, "Norvanework.exe", 1, 1);
    m_window.MarkStatus("[OK]");
    m_window.Finish();
    EXPECT_EQ(m_out.str(), "255.01.sql\n"
                           "INFO_DOC.NOTE_U.ID 10.blo (1/2)\n"
                           "INFO_DOC.NOTE_U.ID 11.blo (2/2)\n"
                           "Norvanework.exe...[OK]\n");
}

TEST_F(ConsoleWindowTest, TheRemainingTimeShowsAtMostOnceInFiveSeconds) {
    using std::chrono::seconds;
    std::chrono::steady_clock::time_point now{};
    ConsoleWindow window(m_out, m_err, nullptr, [&] { return now; });
    window.AddStatus("255.01.sql");
    struct Tick {
        seconds at;
        const char* caption;
    };
    // The first estimate waits its five seconds, and so does each one after a line.
    for (const Tick& tick :
         {Tick{seconds(0), "00:10:00"}, Tick{seconds(4), "00:09:56"}, Tick{seconds(5), "00:09:55"},
          Tick{seconds(9), "00:09:51"}, Tick{seconds(12), "00:09:48"},
          Tick{seconds(13), "00:09:47"}, Tick{seconds(17), "00:09:43"}}) {
        now = std::chrono::steady_clock::time_point(tick.at);
        window.SetCaption(ui::Control::lUpdateTime, tick.caption);
    }
    window.AddStatus("255.02.sql");
    window.Finish();
    EXPECT_EQ(m_out.str(), "255.01.sql\n"
                           "  залишилось: 00:09:55\n"
                           "  залишилось: 00:09:48\n"
                           "  залишилось: 00:09:43\n"
                           "255.02.sql\n");
}

// A step that shows its time left before its mark (a backup) ends with its line whole again.
TEST_F(ConsoleWindowTest, AMarkAfterTheTimeLeftRepeatsItsLineWithTheMark) {
    using std::chrono::seconds;
    std::chrono::steady_clock::time_point now{};
    std::ostringstream log;
    ConsoleWindow window(m_out, m_err, &log, [&] { return now; });
    window.AddStatus("Резервна копія бази даних...");
    for (int second : {0, 5, 10}) {
        now = std::chrono::steady_clock::time_point(seconds(second));
        window.SetCaption(ui::Control::lUpdateTime, "00:00:0" + std::to_string(9 - second / 5));
    }
    window.MarkStatus("[OK]");
    window.MarkStatus(" 1");
    window.AddStatus("/b/n.fbk");
    window.Finish();
    EXPECT_EQ(m_out.str(), "Резервна копія бази даних...\n"
                           "  залишилось: 00:00:08\n"
                           "  залишилось: 00:00:07\n"
                           "Резервна копія бази даних...[OK] 1\n"
                           "/b/n.fbk\n");
    EXPECT_NE(log.str().find("  Резервна копія бази даних...[OK] 1\n"), std::string::npos)
        << log.str();
}

TEST(CommandLineTest, UnattendedTakesItsOptionsInAnyOrderAndEachOnce) {
    struct Case {
        std::vector<std::string_view> arguments;
        UnattendedOptions options;
    };
    for (const Case& c : std::vector<Case>{
             {{"--unattended"}, {"", "", false}},
             {{"/unattended"}, {"", "", false}},
             {{"--unattended", "--log", "run.log"}, {"run.log", "", false}},
             {{"/log", "C:\\logs\\run 1.log", "/unattended"}, {"C:\\logs\\run 1.log", "", false}},
             {{"--unattended", "--log=журнал.txt"}, {"журнал.txt", "", false}},
             {{"/log=x", "--unattended"}, {"x", "", false}},
             {{"--unattended", "--backup", "/srv/копії"}, {"", "/srv/копії", false}},
             {{"/backup=D:\\Backups", "/unattended"}, {"", "D:\\Backups", false}},
             {{"--rehearse", "--unattended"}, {"", "", true}},
             {{"--unattended", "/rehearse", "--backup=b", "--log", "l"}, {"l", "b", true}},
             // A value is whatever follows, unless it is one of the options.
             {{"--unattended", "--log", "--quiet"}, {"--quiet", "", false}},
         }) {
        const CommandLine line = ParseCommandLine(c.arguments);
        ASSERT_EQ(line.mode, CommandLine::Mode::Unattended) << line.error;
        EXPECT_EQ(line.options.logFile, c.options.logFile);
        EXPECT_EQ(line.options.backupFolder, c.options.backupFolder);
        EXPECT_EQ(line.options.rehearse, c.options.rehearse);
    }
}

TEST(CommandLineTest, AnythingNotUnderstoodIsRefusedWithItsReason) {
    struct Case {
        std::vector<std::string_view> arguments;
        CommandLine::Mode mode;
        std::string error;
    };
    using Mode = CommandLine::Mode;
    for (const Case& c : std::vector<Case>{
             {{}, Mode::Window, ""},
             {{"--help"}, Mode::Help, ""},
             {{"/?"}, Mode::Help, ""},
             {{"-h"}, Mode::Help, ""},
             {{"--unattended", "/help"}, Mode::Help, ""},
             {{"--version"}, Mode::Version, ""},
             {{"/version", "--unattended"}, Mode::Version, ""},
             {{"--unattended", "--quiet"}, Mode::Invalid, "невідомий параметр --quiet"},
             {{"/silent", "--unattended"}, Mode::Invalid, "невідомий параметр /silent"},
             {{"--help", "--quiet"}, Mode::Invalid, "невідомий параметр --quiet"},
             {{"--Unattended"}, Mode::Invalid, "невідомий параметр --Unattended"},
             {{"-unattended"}, Mode::Invalid, "невідомий параметр -unattended"},
             {{"--unattended", "x"}, Mode::Invalid, "невідомий параметр x"},
             {{"--unattended", "now"}, Mode::Invalid, "невідомий параметр now"},
             {{"--unattended", "--unattended"},
              Mode::Invalid,
              "параметр --unattended задано двічі"},
             {{"--unattended", "--log"}, Mode::Invalid, "параметр --log потребує імені файлу"},
             {{"--unattended", "--log="}, Mode::Invalid, "параметр --log потребує імені файлу"},
             {{"--log", "--unattended"}, Mode::Invalid, "параметр --log потребує імені файлу"},
             {{"--unattended", "--log", "a", "--log", "b"},
              Mode::Invalid,
              "параметр --log задано двічі"},
             {{"--unattended", "--backup"}, Mode::Invalid, "параметр --backup потребує теки"},
             // An option is no value, in either spelling.
             {{"--unattended", "--log", "-h"},
              Mode::Invalid,
              "параметр --log потребує імені файлу"},
             {{"--unattended", "--backup", "/?"}, Mode::Invalid, "параметр --backup потребує теки"},
             // The first reason is the one given.
             {{"--log", "a", "--log", "b"}, Mode::Invalid, "параметр --log задано двічі"},
             {{"--unattended", "/backup=", "x"}, Mode::Invalid, "параметр --backup потребує теки"},
             {{"--unattended", "--rehearse", "/rehearse"},
              Mode::Invalid,
              "параметр --rehearse задано двічі"},
             {{"--log", "a"}, Mode::Invalid, "параметр --log діє лише разом з --unattended"},
             {{"--backup", "/srv"},
              Mode::Invalid,
              "параметр --backup діє лише разом з --unattended"},
             {{"--rehearse"}, Mode::Invalid, "параметр --rehearse діє лише разом з --unattended"},
         }) {
        const CommandLine line = ParseCommandLine(c.arguments);
        const std::string shown = c.arguments.empty() ? "" : std::string(c.arguments[0]);
        EXPECT_EQ(line.mode, c.mode) << shown;
        EXPECT_EQ(line.error, c.error) << shown;
    }
}

TEST(CommandLineTest, WhatOpensNoWindowPrintsAndEndsBeforeAnyDatabase) {
    struct Case {
        std::vector<std::string_view> arguments;
        int status;
        std::string out;
        std::string err;
    };
    for (const Case& c : std::vector<Case>{
             {{"--help"}, 0, UsageText(), ""},
             {{"--version"}, 0, "norvane-update " NORVANE_TEST_VERSION "\n", ""},
             {{"--unattended", "--quiet"},
              2,
              "",
              "error: невідомий параметр --quiet\n\n" + UsageText()},
         }) {
        app::ProcessValues values;
        std::ostringstream out;
        std::ostringstream err;
        // No folder to find a configuration or a database in: nothing may be looked for.
        const auto status =
            RunWithoutWindow(ParseCommandLine(c.arguments), values,
                             {"/nonexistent/norvane-update", "/nonexistent"}, out, err);
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(*status, c.status);
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), c.err);
        EXPECT_EQ(values.GlobDB, nullptr);
    }
    app::ProcessValues values;
    std::ostringstream out;
    EXPECT_FALSE(RunWithoutWindow(ParseCommandLine({}), values, {"/x/y", "/x"}, out, out));
}

TEST(CommandLineTest, TheUsageNamesEveryOptionAndExitStatus) {
    const std::string usage = UsageText();
    for (const char* named :
         {"--unattended", "/unattended", "--log ФАЙЛ", "--log=ФАЙЛ", "/log ФАЙЛ", "--backup ТЕКА",
          "/backup ТЕКА", "--rehearse", "--help", "--version", "nrv.ini", "  0 ", "  2 ", "  3 ",
          "  10 ", "  11 ", "  12 ", "  13 "})
        EXPECT_NE(usage.find(named), std::string::npos) << named;
    EXPECT_EQ(usage.back(), '\n');
}

TEST_F(ConsoleWindowTest, ALogGetsEveryLineWithItsTimeAndMark) {
    std::ostringstream log;
    ConsoleWindow window(m_out, m_err, &log);
    window.MarkStatus("OK");
    window.AddStatus("Розпаковка пакету...");
    window.MarkStatus("[OK]");
    window.SetFileCaption(ui::Control::lFile, "T.B.ID 1.blo", 1, 1);
    window.AddError("error: помилок у скрипті: 1");
    window.ShowMessageBox("ПК Norvane запущена.", ui::MessageKind::Warning);
    window.Finish();
    const std::regex expected(
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  OK\n"
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  Розпаковка пакету...\\[OK\\]\n"
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  T.B.ID 1.blo \\(1/1\\)\n"
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  error: помилок у скрипті: 1\n"
        "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  warning: ПК Norvane запущена.\n");
    EXPECT_TRUE(std::regex_match(log.str(), expected)) << log.str();
}

TEST(UnattendedExitStatusTest, FollowsTheVerdictAndTheInstall) {
    struct Case {
        const char* what;
        app::RunReport report;
        ExitStatus status;
    };
    const auto installed = [](Install install, int statements, int blobs, int copies, int logs) {
        app::RunReport report;
        report.verdict = Verdict::Allowed;
        report.install = install;
        report.failedStatements = statements;
        report.failedBlobs = blobs;
        report.failedCopies = copies;
        report.failedLogs = logs;
        return report;
    };
    const auto finished = [&](int statements, int blobs, int copies, int logs = 0) {
        return installed(Install::Finished, statements, blobs, copies, logs);
    };
    app::RunReport running;
    running.verdict = Verdict::ProgramRunning;
    app::RunReport older;
    older.verdict = Verdict::DatabaseOlder;
    app::RunReport upToDate;
    upToDate.verdict = Verdict::UpToDate;

    for (const Case& c : std::vector<Case>{
             {"clean", finished(0, 0, 0), ExitStatus::Updated},
             {"statement", finished(1, 0, 0), ExitStatus::UpdatedWithFailures},
             {"blob", finished(0, 2, 0), ExitStatus::UpdatedWithFailures},
             {"copy", finished(0, 0, 3), ExitStatus::UpdatedWithFailures},
             {"log", finished(0, 0, 0, 1), ExitStatus::UpdatedWithFailures},
             {"not started", installed(Install::NotStarted, 0, 0, 0, 0), ExitStatus::Error},
             {"failed", installed(Install::Failed, 0, 0, 0, 0), ExitStatus::Error},
             {"failed after failures", installed(Install::Failed, 2, 0, 0, 0), ExitStatus::Error},
             {"interrupted", installed(Install::Interrupted, 0, 0, 0, 0), ExitStatus::Error},
             {"busy", installed(Install::Busy, 0, 0, 0, 0), ExitStatus::AnotherInstallerRunning},
             {"running", running, ExitStatus::ProgramRunning},
             {"older", older, ExitStatus::DatabaseOlder},
             {"up to date", upToDate, ExitStatus::UpToDate},
             {"not checked", app::RunReport{}, ExitStatus::Error},
         }) {
        EXPECT_EQ(static_cast<int>(ExitStatusFor(c.report)), static_cast<int>(c.status)) << c.what;
    }
}

} // namespace
} // namespace norvane::console
