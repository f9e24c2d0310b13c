// Runs the real installer (built from the program's main with the demo package 255) as a
// child process from prepared program folders.
#include "demo_product.h"
#include "support/running_program.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

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

class UnattendedTest : public ::testing::Test {
protected:
    UnattendedTest() {
        fs::copy_file(NORVANE_INSTALLER, m_product.InstallerPath());
        fs::permissions(m_product.InstallerPath(), fs::perms::owner_all);
    }

    /// Runs the installer from the program folder, its temporary folder the product's own.
    Outcome Run(const std::vector<std::string>& arguments = {"--unattended"},
                const std::vector<std::string>& extraEnvironment = {}) {
        const pid_t pid = Start(arguments, extraEnvironment);
        int wait = 0;
        ::waitpid(pid, &wait, 0);
        return Finished(wait);
    }

    Outcome Finished(int wait) {
        Outcome outcome;
        outcome.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + WTERMSIG(wait);
        outcome.out = ReadFile(m_output / "stdout");
        outcome.err = ReadFile(m_output / "stderr");
        return outcome;
    }

    pid_t Start(const std::vector<std::string>& arguments,
                const std::vector<std::string>& extraEnvironment) {
        // The test's own variables first: the first of a name is the one that counts. No
        // display: unattended mode must not need one.
        std::vector<std::string> environment = extraEnvironment;
        const auto named = [&](std::string_view variable) {
            for (const std::string& own : environment) {
                if (variable.substr(0, variable.find('=') + 1) ==
                    std::string_view(own).substr(0, own.find('=') + 1))
                    return true;
            }
            return variable.rfind("DISPLAY=", 0) == 0;
        };
        std::vector<std::string> inherited{"TMPDIR=" + m_product.Temp.Str(), "QT_QPA_PLATFORM=xcb"};
        for (char** entry = environ; *entry != nullptr; ++entry)
            inherited.emplace_back(*entry);
        for (const std::string& variable : inherited) {
            if (!named(variable))
                environment.push_back(variable);
        }

        std::vector<std::string> argv{m_product.InstallerPath()};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> argvPointers;
        for (auto& argument : argv)
            argvPointers.push_back(argument.data());
        argvPointers.push_back(nullptr);
        std::vector<char*> environmentPointers;
        for (auto& variable : environment)
            environmentPointers.push_back(variable.data());
        environmentPointers.push_back(nullptr);

        const std::string outPath = m_output / "stdout";
        const std::string errPath = m_output / "stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        pid_t pid = 0;
        const int started = ::posix_spawn(&pid, argvPointers[0], &actions, nullptr,
                                          argvPointers.data(), environmentPointers.data());
        posix_spawn_file_actions_destroy(&actions);
        if (started != 0)
            throw std::runtime_error("cannot start the installer");
        return pid;
    }

    DemoProduct m_product;
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
          std::string("Встановлення оновлення")})
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
    EXPECT_EQ(outcome.err, "error\n");
    EXPECT_EQ(m_product.DatabaseVersion(), "254");
}

TEST_F(UnattendedTest, AMissingClientLibraryGivesTwo) {
    const Outcome outcome = Run({"--unattended"}, {"NORVANE_FBCLIENT=/nonexistent/libfbclient.so"});
    EXPECT_EQ(outcome.status, 2) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find("/nonexistent/libfbclient.so"), std::string::npos) << outcome.err;
}

TEST_F(UnattendedTest, AnyOtherCommandLineOpensTheWindow) {
    // The window waits for its user, so the program is still there when unattended mode
    // would long have ended; the checks have run and the database is untouched.
    const pid_t pid = Start({"--unattended", "now"}, {"QT_QPA_PLATFORM=offscreen"});
    int wait = 0;
    pid_t ended = 0;
    for (int tick = 0; tick < 30 && ended == 0; ++tick) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ended = ::waitpid(pid, &wait, WNOHANG);
    }
    if (ended == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &wait, 0);
    }
    const Outcome outcome = Finished(wait);
    EXPECT_EQ(ended, 0) << outcome.out << outcome.err;
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(m_product.DatabaseVersion(), "254");
}

} // namespace
} // namespace norvane::testing
