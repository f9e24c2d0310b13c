// Starting and awaiting the archiver: the stand-in rar.exe records the command line it got.

#include "base/exceptions.h"
#include "package/packages.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "support/temp_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace norvane {
namespace {

using testing::ReadFile;
using testing::TempFolder;

class Win32Archiver : public ::testing::Test {
protected:
    void SetUp() override {
        // The installer's folder holds rar.exe; a blank in its name is the usual case.
        programFolder = JoinPath(folder.Str(), "Norvane Update");
        workFolder = JoinPath(folder.Str(), "nrv7.nvx");
        ASSERT_TRUE(platform::CreateFolder(programFolder));
        ASSERT_TRUE(platform::CreateFolder(workFolder));
        ASSERT_FALSE(
            platform::CopyFileReplacing(JoinPath(testing::TestProgramFolder(), "rar_standin.exe"),
                                        JoinPath(programFolder, "rar.exe")));
        log = JoinPath(folder.Str(), "rar.log");
        ::SetEnvironmentVariableW(L"NORVANE_RAR_LOG", platform::win32::Wide(log).c_str());
    }
    void TearDown() override { ::SetEnvironmentVariableW(L"NORVANE_RAR_LOG", nullptr); }

    TempFolder folder;
    std::string programFolder;
    std::string workFolder;
    std::string log;
};

TEST_F(Win32Archiver, FindsRarExeBesideTheInstallerOnly) {
    EXPECT_EQ(platform::FindArchiver(programFolder), JoinPath(programFolder, "rar.exe"));
    EXPECT_EQ(platform::FindArchiver(workFolder), "");
}

TEST_F(Win32Archiver, UnpacksASavedPackageIntoTheWorkFolder) {
    const std::string archive = JoinPath(workFolder, "255.rar");
    package::SavePackage("255_RAR", archive);
    auto process = platform::ArchiverProcess::Start(platform::FindArchiver(programFolder), archive,
                                                    workFolder);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(process->Wait({}), 0);

    // The command line as RAR gets it: the archive quoted, a blank after; the archiver's
    // path quoted only because it holds a blank.
    const std::string expected = "cmdline \"" + JoinPath(programFolder, "rar.exe") + "\" x -o+ \"" +
                                 archive + "\" \n" + "folder " + workFolder + "\n";
    EXPECT_EQ(ReadFile(log), expected);
    EXPECT_EQ(
        ReadFile(std::filesystem::path(platform::win32::Wide(workFolder)) / L"Norvanework.exe"),
        "program 255\r\n");
    EXPECT_EQ(ReadFile(std::filesystem::path(platform::win32::Wide(workFolder)) / L"Report" /
                       L"Звіт 1.fr3"),
              "template Звіт\r\n");
    EXPECT_TRUE(platform::FileExists(JoinPath(JoinPath(workFolder, "up"), "255.99.sql")));
}

TEST_F(Win32Archiver, PathWithoutBlanksIsPassedUnquoted) {
    const std::string plainFolder = JoinPath(folder.Str(), "Upd");
    ASSERT_TRUE(platform::CreateFolder(plainFolder));
    ASSERT_FALSE(platform::CopyFileReplacing(JoinPath(programFolder, "rar.exe"),
                                             JoinPath(plainFolder, "rar.exe")));
    const std::string archive = JoinPath(workFolder, "255.rar");
    package::SavePackage("255_RAR", archive);
    auto process =
        platform::ArchiverProcess::Start(JoinPath(plainFolder, "rar.exe"), archive, workFolder);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(process->Wait({}), 0);
    EXPECT_EQ(ReadFile(log), "cmdline " + JoinPath(plainFolder, "rar.exe") + " x -o+ \"" + archive +
                                 "\" \n" + "folder " + workFolder + "\n");
}

TEST_F(Win32Archiver, ReportsTheArchiversExitCode) {
    // A package that is not an archive: the archiver fails, and the code is passed on.
    const std::string archive = JoinPath(workFolder, "254.rar");
    testing::WriteFile(archive, "not an archive");
    auto process =
        platform::ArchiverProcess::Start(JoinPath(programFolder, "rar.exe"), archive, workFolder);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(process->Wait({}), 2);
}

TEST_F(Win32Archiver, AQuestionEndsTheArchiverInsteadOfWaitingForAnAnswer) {
    // The installer's own input is a pipe nobody writes to: an archiver that read it would
    // wait for ever.
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    platform::win32::Handle reading(readEnd);
    platform::win32::Handle writing(writeEnd);
    const HANDLE ownInput = ::GetStdHandle(STD_INPUT_HANDLE);
    ::SetStdHandle(STD_INPUT_HANDLE, readEnd);
    ::SetEnvironmentVariableW(L"NORVANE_RAR_ASK", L"1");
    const std::string archive = JoinPath(workFolder, "255.rar");
    package::SavePackage("255_RAR", archive);
    auto process = platform::ArchiverProcess::Start(platform::FindArchiver(programFolder), archive,
                                                    workFolder);
    ::SetEnvironmentVariableW(L"NORVANE_RAR_ASK", nullptr);
    ::SetStdHandle(STD_INPUT_HANDLE, ownInput);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(process->Wait({}), 255);
    // What it said went to the work folder's archiver log, not to a console.
    EXPECT_EQ(ReadFile(JoinPath(workFolder, "archiver.log")), "Overwrite? [Y]es, [N]o\r\n");
}

TEST_F(Win32Archiver, AMissingArchiverIsNamedWithTheSystemsReason) {
    const std::string missing = JoinPath(workFolder, "rar.exe");
    try {
        platform::ArchiverProcess::Start(missing, JoinPath(workFolder, "255.rar"), workFolder);
        ADD_FAILURE() << "a missing archiver started";
    } catch (const EOSError& error) {
        const std::string text = error.what();
        EXPECT_EQ(text.rfind("не вдалося запустити архіватор " + missing + ": ", 0), 0u) << text;
        EXPECT_GT(text.size(), ("не вдалося запустити архіватор " + missing + ": ").size()) << text;
    }
}

TEST_F(Win32Archiver, WaitHandsArrivingMessagesToThePump) {
    const std::string archive = JoinPath(workFolder, "255.rar");
    package::SavePackage("255_RAR", archive);
    // The archiver is still busy when the message arrives.
    ::SetEnvironmentVariableW(L"NORVANE_RAR_DELAY_MS", L"1000");
    auto process =
        platform::ArchiverProcess::Start(JoinPath(programFolder, "rar.exe"), archive, workFolder);
    ::SetEnvironmentVariableW(L"NORVANE_RAR_DELAY_MS", nullptr);
    ASSERT_NE(process, nullptr);
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_USER, 0, 0);
    int pumped = 0;
    const int code = process->Wait([&] {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            ++pumped;
    });
    EXPECT_EQ(code, 0);
    EXPECT_GE(pumped, 1);
}

} // namespace
} // namespace norvane
