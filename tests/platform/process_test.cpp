#include "platform/process.h"

#include "base/exceptions.h"
#include "platform/interrupt.h"
#include "support/environment_override.h"
#include "support/expect_throw.h"
#include "support/running_program.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

namespace norvane::platform {
namespace {

using testing::EnvironmentOverride;
using testing::RunningProgram;

TEST(IsProcessRunning, MatchesWholeFileNamesOnly) {
    const std::string name = "Norvanework.exe";
    EXPECT_FALSE(IsProcessRunning(name));
    {
        RunningProgram other("xNorvanework.exe");
        EXPECT_FALSE(IsProcessRunning(name));
    }
    {
        // The kernel's 15-character command name of this one reads "Norvanework.exe".
        RunningProgram truncated("Norvanework.exe.old");
        EXPECT_FALSE(IsProcessRunning(name));
    }
    {
        // A Windows program run under Wine: argv[0] carries its Windows path.
        RunningProgram underWine("wine-loader", R"(C:\Program Files\Norvane\NorvaneWork.EXE)");
        EXPECT_TRUE(IsProcessRunning(name));
    }
    {
        RunningProgram running(name);
        EXPECT_TRUE(IsProcessRunning(name));
    }
    EXPECT_FALSE(IsProcessRunning(name));
}

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

// An archiver made for the test: a shell script in the installer's folder.
class ArchiverTest : public ::testing::Test {
protected:
    ArchiverTest() { fs::create_directory(m_work.Path() / "nrv7.nvx"); }
    std::string MakeArchiver(std::string_view script) {
        const std::string path = m_program / "rar";
        WriteFile(path, script);
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }
    std::unique_ptr<ArchiverProcess> Start(const std::string& archiver) {
        return ArchiverProcess::Start(archiver, Work() + "/255.rar", Work());
    }
    std::string Work() const { return m_work / "nrv7.nvx"; }

    TempFolder m_program;
    TempFolder m_work;
};

TEST_F(ArchiverTest, TheOneBesideTheInstallerComesBeforeThePath) {
    EnvironmentOverride path("PATH", m_work.Str());
    EXPECT_EQ(FindArchiver(m_program.Str()), "");
    WriteFile(m_work.Path() / "unrar", "#!/bin/sh\n");
    EXPECT_EQ(FindArchiver(m_program.Str()), "");
    fs::permissions(m_work.Path() / "unrar", fs::perms::owner_all);
    EXPECT_EQ(FindArchiver(m_program.Str()), m_work / "unrar");
    const std::string beside = MakeArchiver("#!/bin/sh\n");
    EXPECT_EQ(FindArchiver(m_program.Str()), beside);
}

TEST_F(ArchiverTest, RunsInTheWorkFolderWithRarsCommandLineAndNoInput) {
    const auto archiver =
        Start(MakeArchiver("#!/bin/sh\necho \"$PWD|$1|$2|$3\"\ncat\necho done\n"));
    ASSERT_NE(archiver, nullptr);
    EXPECT_EQ(archiver->Wait({}), 0);
    // Its chatter goes to a file in the work folder.
    EXPECT_EQ(ReadFile(Work() + "/archiver.log"), Work() + "|x|-o+|" + Work() + "/255.rar\ndone\n");
}

TEST_F(ArchiverTest, TellsItsExitCodeOrTheSignalThatEndedIt) {
    struct Case {
        const char* script;
        int code;
    };
    for (const Case& c : {Case{"#!/bin/sh\nexit 3\n", 3}, Case{"#!/bin/sh\nkill -KILL $$\n", 137},
                          Case{"#!/bin/sh\nkill -TERM $$\n", 143}}) {
        SCOPED_TRACE(c.script);
        const auto archiver = Start(MakeArchiver(c.script));
        ASSERT_NE(archiver, nullptr);
        EXPECT_EQ(archiver->Wait({}), c.code);
    }
}

TEST_F(ArchiverTest, TheWindowIsPumpedWhileItWaits) {
    // The archiver ends only once the pump has run.
    const auto archiver =
        Start(MakeArchiver("#!/bin/sh\nwhile [ ! -e go ]; do sleep 0.01; done\n"));
    ASSERT_NE(archiver, nullptr);
    int pumps = 0;
    EXPECT_EQ(archiver->Wait([&] {
        if (++pumps == 1)
            WriteFile(Work() + "/go", "");
    }),
              0);
    EXPECT_GE(pumps, 1);
}

TEST_F(ArchiverTest, WhatCannotBeStartedIsNamedWithTheSystemsReason) {
    const std::string notAProgram = MakeArchiver("no program at all\n");
    EXPECT_THROW_MSG(Start(notAProgram), EOSError,
                     "не вдалося запустити архіватор " + notAProgram + ": Exec format error");
    const std::string missing = m_program / "missing";
    EXPECT_THROW_MSG(Start(missing), EOSError,
                     "не вдалося запустити архіватор " + missing + ": No such file or directory");
    // Its log cannot be made where there is no work folder.
    EXPECT_THROW_MSG(
        ArchiverProcess::Start(MakeArchiver("#!/bin/sh\n"), "255.rar", m_work / "missing"),
        EOSError,
        "не вдалося створити файл " + m_work / "missing/archiver.log" +
            ": No such file or directory");
}

// The current folder changed for the owner's life.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& folder) : m_old(fs::current_path()) {
        fs::current_path(folder);
    }
    ~CurrentFolder() { fs::current_path(m_old); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    fs::path m_old;
};

TEST_F(ArchiverTest, ARelativeFolderOfThePathIsTakenFromTheCurrentFolder) {
    // A shell would find bin/unrar from here; the archiver starts in the work folder, where
    // the relative path would lead nowhere.
    fs::create_directory(m_work.Path() / "bin");
    WriteFile(m_work.Path() / "bin/unrar", "#!/bin/sh\necho started\n");
    fs::permissions(m_work.Path() / "bin/unrar", fs::perms::owner_all);
    const CurrentFolder here(m_work.Str());
    const EnvironmentOverride path("PATH", "bin");
    const std::string found = FindArchiver(m_program.Str());
    EXPECT_EQ(found, m_work / "bin/unrar");
    const auto archiver = Start(found);
    EXPECT_EQ(archiver->Wait({}), 0);
    EXPECT_EQ(ReadFile(Work() + "/archiver.log"), "started\n");
}

TEST_F(ArchiverTest, ThePathIsSearchedAsAShellSearchesIt) {
    fs::create_directory(m_work.Path() / "bin");
    WriteFile(m_work.Path() / "bin/unrar", "#!/bin/sh\n");
    fs::permissions(m_work.Path() / "bin/unrar", fs::perms::owner_all);
    {
        // Empty entries are passed over, not taken as the current folder.
        const CurrentFolder here(m_work.Str() + "/bin");
        const EnvironmentOverride path("PATH", "::" + m_work.Str() + "/bin:");
        EXPECT_EQ(FindArchiver(m_program.Str()), m_work / "bin/unrar");
    }
    {
        // An empty path names no folder, not the current one.
        const CurrentFolder here(m_work.Str() + "/bin");
        const EnvironmentOverride path("PATH", "");
        EXPECT_EQ(FindArchiver(m_program.Str()), "");
    }
    {
        // Without a path, the usual folders; none of them holds this archiver.
        const std::string old = std::getenv("PATH");
        ::unsetenv("PATH");
        const std::string found = FindArchiver(m_program.Str());
        ::setenv("PATH", old.c_str(), 1);
        EXPECT_TRUE(found.empty() || found.starts_with("/usr/local/bin/") ||
                    found.starts_with("/usr/bin/") || found.starts_with("/bin/"))
            << found;
    }
}

TEST_F(ArchiverTest, RelativeFoldersLeadNowhereOnceTheCurrentFolderIsGone) {
    fs::create_directories(m_work.Path() / "gone/bin");
    WriteFile(m_work.Path() / "gone/bin/unrar", "#!/bin/sh\n");
    fs::permissions(m_work.Path() / "gone/bin/unrar", fs::perms::owner_all);
    MakeArchiver("#!/bin/sh\n");
    fs::create_directory(m_work.Path() / "usr");
    WriteFile(m_work.Path() / "usr/unrar", "#!/bin/sh\n");
    fs::permissions(m_work.Path() / "usr/unrar", fs::perms::owner_all);

    const CurrentFolder here(m_work.Str() + "/gone");
    fs::remove_all(m_work.Path() / "gone");
    const EnvironmentOverride path("PATH", "bin:" + m_work.Str() + "/usr");
    EXPECT_EQ(FindArchiver("."), m_work / "usr/unrar");
}

TEST_F(ArchiverTest, ACurrentFolderPastThePathLimitMakesRelativeFoldersLeadNowhere) {
    // Made a step at a time, as no single path that long may be given.
    fs::create_directory(m_work.Path() / "usr");
    WriteFile(m_work.Path() / "usr/unrar", "#!/bin/sh\n");
    fs::permissions(m_work.Path() / "usr/unrar", fs::perms::owner_all);
    const CurrentFolder here(m_work.Str());
    const std::string step(200, 'd');
    for (int i = 0; i < 25; ++i) {
        fs::create_directory(step);
        fs::current_path(step);
    }
    fs::create_directory("bin");
    WriteFile("bin/unrar", "#!/bin/sh\n");
    fs::permissions("bin/unrar", fs::perms::owner_all);
    const EnvironmentOverride path("PATH", "bin:" + m_work.Str() + "/usr");
    EXPECT_EQ(FindArchiver("."), m_work / "usr/unrar");
}

TEST_F(ArchiverTest, OneNobodyWaitedForIsReapedWhenItGoes) {
    const std::string pidFile = m_work / "pid";
    {
        const auto archiver =
            Start(MakeArchiver("#!/bin/sh\necho $$ > " + pidFile + "\nexec sleep 0.2\n"));
        while (ReadFile(pidFile).empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const pid_t pid = std::stoi(ReadFile(pidFile));
    // Neither running nor left as a zombie: the process is gone from the system.
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST_F(ArchiverTest, AnEndTheSystemDoesNotKeepIsToldAsMinusOne) {
    // With SIGCHLD ignored the system reaps children itself and keeps no exit status.
    const auto old = std::signal(SIGCHLD, SIG_IGN);
    const auto archiver = Start(MakeArchiver("#!/bin/sh\nexit 3\n"));
    const int code = archiver->Wait({});
    std::signal(SIGCHLD, old);
    EXPECT_EQ(code, -1);
}

TEST_F(ArchiverTest, ItsLogIsMadeAnewAndNeverThroughALink) {
    // Someone else's file, and a link to it where the log goes.
    const std::string outside = m_program / "outside.txt";
    WriteFile(outside, "not the archiver's");
    fs::create_symlink(outside, Work() + "/archiver.log");
    const auto archiver = Start(MakeArchiver("#!/bin/sh\necho chatter\n"));
    EXPECT_EQ(archiver->Wait({}), 0);
    EXPECT_EQ(ReadFile(outside), "not the archiver's");
    EXPECT_FALSE(fs::is_symlink(Work() + "/archiver.log"));
    EXPECT_EQ(ReadFile(Work() + "/archiver.log"), "chatter\n");
}

TEST_F(ArchiverTest, StartsWithTheSignalsAShellGivesAProgram) {
    // The installer blocks the requests to end in its threads and ignores a closed pipe and a
    // file-size limit; the archiver must end, be stopped and be limited as usual.
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&blocked, signal);
    sigset_t old;
    ::pthread_sigmask(SIG_BLOCK, &blocked, &old);
    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
    const auto oldSize = std::signal(SIGXFSZ, SIG_IGN);
    const auto archiver =
        Start(MakeArchiver("#!/bin/sh\ngrep -E '^Sig(Blk|Ign)' /proc/$$/status\n"));
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    std::signal(SIGPIPE, oldPipe);
    std::signal(SIGXFSZ, oldSize);
    EXPECT_EQ(archiver->Wait({}), 0);
    const std::string status = ReadFile(Work() + "/archiver.log");
    const auto mask = [&](std::string_view name) {
        const auto at = status.find(name);
        return at == std::string::npos ? ~0ull
                                       : std::stoull(status.substr(at + name.size()), nullptr, 16);
    };
    const auto bit = [](int signal) { return 1ull << (signal - 1); };
    EXPECT_EQ(mask("SigBlk:") & (bit(SIGTERM) | bit(SIGINT) | bit(SIGHUP)), 0u) << status;
    EXPECT_EQ(mask("SigIgn:") & (bit(SIGPIPE) | bit(SIGXFSZ)), 0u) << status;
}

// An interruption while the archiver runs ends it: asked first, made to if it will not.
struct StopCase {
    const char* script;
    int code;
};

void PrintTo(const StopCase& param, std::ostream* out) {
    *out << param.script;
}

class ArchiverStopTest : public ArchiverTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(ArchiverStopTest, AnInterruptionEndsIt) {
    const auto archiver = Start(MakeArchiver(GetParam().script));
    // The script is running once it has said so.
    while (ReadFile(Work() + "/archiver.log").empty())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const auto start = std::chrono::steady_clock::now();
    RequestInterrupt();
    const int code = archiver->Wait({});
    ClearInterrupt();
    EXPECT_EQ(code, GetParam().code);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

INSTANTIATE_TEST_SUITE_P(
    Archiver, ArchiverStopTest,
    ::testing::Values(StopCase{"#!/bin/sh\necho busy\nexec sleep 60\n", 128 + SIGTERM},
                      StopCase{"#!/bin/sh\ntrap '' TERM\necho busy\nwhile :; do sleep 0.1; done\n",
                               128 + SIGKILL}),
    [](const auto& info) { return info.index == 0 ? "Asked" : "Made"; });

} // namespace
} // namespace norvane::platform
