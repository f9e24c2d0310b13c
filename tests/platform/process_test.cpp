#include "platform/process.h"

#include "support/running_program.h"

#include <gtest/gtest.h>

namespace norvane::platform {
namespace {

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

} // namespace
} // namespace norvane::platform
