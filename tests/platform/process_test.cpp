#include "platform/process.h"

#include "support/environment_override.h"
#include "support/running_program.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

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

TEST_F(ArchiverTest, WhatCannotBeStartedGivesNothing) {
    EXPECT_EQ(Start(MakeArchiver("no program at all\n")), nullptr);
    EXPECT_EQ(Start(m_program / "missing"), nullptr);
    EXPECT_EQ(ArchiverProcess::Start(MakeArchiver("#!/bin/sh\n"), "255.rar", m_work / "missing"),
              nullptr);
}

} // namespace
} // namespace norvane::platform
