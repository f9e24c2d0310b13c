// The running-program test against real processes: copies of a waiting program under the
// main program's name and under names that only resemble it.

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "support/temp_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace norvane {
namespace {

std::string CopyOfIdleProgram(const testing::TempFolder& folder, const std::string& name) {
    const std::string path = JoinPath(folder.Str(), name);
    EXPECT_FALSE(platform::CopyFileReplacing(
        JoinPath(testing::TestProgramFolder(), "idle_program.exe"), path));
    return path;
}

TEST(Win32Process, MatchesTheExecutableNameIgnoringCase) {
    testing::TempFolder folder;
    EXPECT_FALSE(platform::IsProcessRunning("Norvanework.exe"));
    {
        testing::StartedProgram program(CopyOfIdleProgram(folder, "Norvanework.exe"), "", "");
        ASSERT_TRUE(program.Started()) << "error " << program.Error();
        EXPECT_TRUE(platform::IsProcessRunning("Norvanework.exe"));
        EXPECT_TRUE(platform::IsProcessRunning("NORVANEWORK.EXE"));
        EXPECT_TRUE(platform::IsProcessRunning("norvanework.exe"));
        // Only the whole file name counts, not a part of it or the name without extension.
        EXPECT_FALSE(platform::IsProcessRunning("orvanework.exe"));
        EXPECT_FALSE(platform::IsProcessRunning("Norvanework"));
    }
    EXPECT_FALSE(platform::IsProcessRunning("Norvanework.exe"));
}

TEST(Win32Process, NameThatOnlyContainsTheMainProgramsDoesNotMatch) {
    testing::TempFolder folder;
    testing::StartedProgram program(CopyOfIdleProgram(folder, "OldNorvanework.exe"), "", "");
    ASSERT_TRUE(program.Started()) << "error " << program.Error();
    EXPECT_TRUE(platform::IsProcessRunning("oldnorvanework.exe"));
    EXPECT_FALSE(platform::IsProcessRunning("Norvanework.exe"));
}

} // namespace
} // namespace norvane
