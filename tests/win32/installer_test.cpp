// The Windows installer end to end under Wine: norvane-update.exe itself without a client
// library (unattended and with its window), and the install's file steps on real folders with
// the stand-in archiver: save the packages, unpack them, copy the program files.

#include "package/packages.h"
#include "package/program_files.h"
#include "package/work_folder.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "support/recording_window.h"
#include "support/temp_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <thread>

namespace norvane {
namespace {

using platform::win32::Utf8;
using platform::win32::Wide;
using testing::ReadFile;
using testing::TempFolder;

std::string Unix(std::string text) {
    std::erase(text, '\r');
    return text;
}

class Win32Installer : public ::testing::Test {
protected:
    void SetUp() override {
        programFolder = JoinPath(folder.Str(), "Norvane");
        ASSERT_TRUE(platform::CreateFolder(programFolder));
        installer = JoinPath(programFolder, "norvane-update.exe");
        ASSERT_FALSE(platform::CopyFileReplacing(NORVANE_UPDATE_EXE, installer));
        testing::WriteFile(JoinPath(programFolder, "nrv.ini"),
                           "[Common]\r\nPathBaseIB=C:\\Data\\norvane.fdb\r\nTypeServer=0\r\n");
    }

    TempFolder folder;
    std::string programFolder;
    std::string installer;
};

TEST_F(Win32Installer, UnattendedWithoutClientLibraryReportsItAndFails) {
    for (const char* switchText : {"--unattended", "/unattended"}) {
        const auto run = testing::RunCaptured(installer, switchText, programFolder);
        EXPECT_EQ(run.exitCode, 2) << switchText;
        EXPECT_EQ(run.out, "");
        const std::string expected = "error: Cannot load the Firebird client library " +
                                     JoinPath(programFolder, "fbclient.dll") + ": ";
        EXPECT_EQ(Unix(run.err).rfind(expected, 0), 0u) << run.err;
        EXPECT_NE(run.err.find("fbclient.dll: "), std::string::npos) << run.err;
    }
}

TEST_F(Win32Installer, UnattendedWithAClientOfTheOtherBitnessNamesTheBuildToUse) {
    ASSERT_FALSE(platform::CopyFileReplacing(NORVANE_OTHER_BITNESS_CLIENT,
                                             JoinPath(programFolder, "fbclient.dll")));
    const auto run = testing::RunCaptured(installer, "--unattended", programFolder);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    const std::string own = std::to_string(sizeof(void*) * 8);
    const std::string other = sizeof(void*) == 8 ? "32" : "64";
    const std::string reason = "a " + other + "-bit library, which this " + own +
                               "-bit program cannot load: use the " + other +
                               "-bit norvane-update.exe";
    // The search path finds the same file beside the installer.
    EXPECT_EQ(Unix(run.err), "error: Cannot load the Firebird client library " +
                                 JoinPath(programFolder, "fbclient.dll") + ": " + reason +
                                 "; fbclient.dll: " + reason + "\n");
}

// A command line that is not understood opens no window: its reason and the usage, exit 2.
TEST_F(Win32Installer, ACommandLineNotUnderstoodEndsWithTheUsage) {
    const auto refused = testing::RunCaptured(installer, "--unattended --quiet", programFolder);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(Unix(refused.err).rfind("error: невідомий параметр --quiet\n\nВикористання:\n", 0),
              0u)
        << refused.err;
    const auto help = testing::RunCaptured(installer, "/?", programFolder);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(Unix(help.out).rfind("Використання:\n", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("--rehearse"), std::string::npos) << help.out;
    const auto version = testing::RunCaptured(installer, "--version", programFolder);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("norvane-update ", 0), 0u) << version.out;
}

// The first message box a process shows: its text, after which it is dismissed.
std::wstring DismissBoxOf(DWORD processId) {
    for (int i = 0; i < 3000; ++i) {
        if (HWND box = testing::ShownWindowOf(processId, L"#32770")) {
            const std::string text = testing::MessageBoxText(box);
            ::PostMessageW(box, WM_COMMAND, IDOK, 0);
            return Wide(text);
        }
        ::Sleep(10);
    }
    return L"(no box)";
}

TEST_F(Win32Installer, WindowWithoutClientLibraryShowsTheErrorAndEnds) {
    testing::StartedProgram program(installer, "", programFolder);
    ASSERT_TRUE(program.Started());
    const std::string text = Utf8(DismissBoxOf(program.ProcessId()));
    EXPECT_EQ(text.rfind("Cannot load the Firebird client library " +
                             JoinPath(programFolder, "fbclient.dll") + ": ",
                         0),
              0u)
        << text;
    EXPECT_EQ(program.Wait(30000), 0);
}

TEST_F(Win32Installer, FileStepsSaveUnpackAndCopyThePackages) {
    ASSERT_FALSE(
        platform::CopyFileReplacing(JoinPath(testing::TestProgramFolder(), "rar_standin.exe"),
                                    JoinPath(programFolder, "rar.exe")));
    const std::string workFolder = JoinPath(folder.Str(), "nrv7.nvx");
    ASSERT_TRUE(platform::CreateFolder(workFolder));
    testing::WriteFile(JoinPath(workFolder, "stale.txt"), "left by an earlier run");
    package::CleanWorkFolder(workFolder);
    EXPECT_FALSE(platform::FileExists(JoinPath(workFolder, "stale.txt")));

    const std::string archiver = platform::FindArchiver(programFolder);
    ASSERT_FALSE(archiver.empty());
    for (std::int32_t number : {254, 255}) {
        const std::string archive = JoinPath(workFolder, package::PackageArchiveName(number));
        package::SavePackage(package::PackageResourceName(number), archive);
        auto process = platform::ArchiverProcess::Start(archiver, archive, workFolder);
        ASSERT_NE(process, nullptr);
        EXPECT_EQ(process->Wait({}), 0);
        EXPECT_TRUE(platform::DeleteFile(archive));
    }
    std::vector<std::string> scripts;
    platform::CollectFiles(scripts, JoinPath(workFolder, "up"), "*.sql");
    EXPECT_EQ(scripts, (std::vector<std::string>{JoinPath(workFolder, "up\\254.01.sql"),
                                                 JoinPath(workFolder, "up\\255.01.sql"),
                                                 JoinPath(workFolder, "up\\255.99.sql")}));

    // No Report folder in the program folder: each template fails with the system's code 3.
    testing::RecordingWindow window;
    const auto files = package::ListProgramFiles(programFolder, workFolder);
    auto outcome = package::InstallProgramFiles(window, files);
    EXPECT_EQ(outcome.entries, 4);
    const std::string notFound = "error (3) " + platform::SystemErrorText(3);
    EXPECT_EQ(window.MemoLines(),
              (std::vector<std::string>{"Norvanework.exe...[OK]", "A.fr3...", notFound, "b.fr3...",
                                        notFound, "Звіт 1.fr3...", notFound}));
    EXPECT_EQ(ReadFile(std::filesystem::path(Wide(programFolder)) / L"Norvanework.exe"),
              "program 255\r\n");

    ASSERT_TRUE(platform::CreateFolder(JoinPath(programFolder, "Report")));
    testing::RecordingWindow again;
    outcome = package::InstallProgramFiles(again, files);
    EXPECT_EQ(again.MemoLines(), (std::vector<std::string>{"Norvanework.exe...[OK]", "A.fr3...[OK]",
                                                           "b.fr3...[OK]", "Звіт 1.fr3...[OK]"}));
    EXPECT_EQ(ReadFile(std::filesystem::path(Wide(programFolder)) / L"Report" / L"Звіт 1.fr3"),
              "template Звіт\r\n");
}

} // namespace
} // namespace norvane
