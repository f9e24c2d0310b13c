#include "package/program_files.h"

#include "support/as_nobody.h"
#include "support/recording_window.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace norvane::package {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::RecordingWindow;
using testing::TempFolder;
using testing::WriteFile;
using ui::Control;

// A work folder with an unpacked package and the product's program folder beside it.
class ProgramFilesTest : public ::testing::Test {
protected:
    ProgramFilesTest() {
        fs::create_directories(Program() / "Report");
        fs::create_directories(Work());
    }

    fs::path Work() const { return m_temp.Path() / "nrv7.nvx"; }
    fs::path Program() const { return m_temp.Path() / "Norvane"; }

    void Unpacked(std::initializer_list<const char*> names) {
        for (const char* name : names)
            WriteFile(Work() / name, std::string("new ") + name);
    }

    ProgramFilesOutcome Install(std::string folder = {}) {
        if (folder.empty())
            folder = Work().string();
        return InstallProgramFiles(m_window, ListProgramFiles(Program().string(), folder));
    }

    std::vector<std::string> Events(std::string_view prefix) const {
        std::vector<std::string> events;
        for (const auto& event : m_window.Events())
            if (event.starts_with(prefix))
                events.push_back(event);
        return events;
    }

    TempFolder m_temp;
    RecordingWindow m_window;
    ui::ProgressBar m_bar{m_window};
    ui::Label m_fileLabel{m_window, Control::lFile};
    ui::Label m_timeLabel{m_window, Control::lUpdateTime};
};

TEST_F(ProgramFilesTest, CopiesTheMainProgramBeforeEveryTemplate) {
    Unpacked({"Norvanework.exe", "Report/Акт.fr3", "Report/Smeta.fr3", "Report/akt2.FR3",
              "Report/Bill.fr3", "up/255.01.sql", "readme.txt"});
    WriteFile(Program() / "Norvanework.exe", "an old main program, longer than the new one");

    const auto outcome = Install();

    EXPECT_EQ(outcome.entries, 5);
    EXPECT_EQ(outcome.failed, 0);
    EXPECT_EQ(m_window.MemoLines(),
              (std::vector<std::string>{"Norvanework.exe...[OK]", "akt2.FR3...[OK]",
                                        "Bill.fr3...[OK]", "Smeta.fr3...[OK]", "Акт.fr3...[OK]"}));
    EXPECT_EQ(ReadFile(Program() / "Norvanework.exe"), "new Norvanework.exe");
    EXPECT_EQ(ReadFile(Program() / "Report" / "Акт.fr3"), "new Report/Акт.fr3");
    EXPECT_FALSE(fs::exists(Program() / "255.01.sql"));
    EXPECT_FALSE(fs::exists(Program() / "up"));
    EXPECT_FALSE(fs::exists(Program() / "readme.txt"));
}

TEST_F(ProgramFilesTest, DrivesTheBarTheFileLabelAndTheTimeLabel) {
    Unpacked({"a.exe", "b.exe", "Report/c.fr3"});
    Install();
    EXPECT_EQ(Events("caption lFile"),
              (std::vector<std::string>{"caption lFile=a.exe (1/3)", "caption lFile=b.exe (2/3)",
                                        "caption lFile=c.fr3 (3/3)"}));
    EXPECT_EQ(Events("progress"),
              (std::vector<std::string>{"progress 0..100@0", "progress 0..3@0", "progress 0..3@1",
                                        "progress 0..3@2", "progress 0..3@3"}));
    EXPECT_EQ(Events("visible"),
              (std::vector<std::string>{"visible lUpdateTime=1", "visible lUpdateTime=0"}));
    // The time label is shown before the first file and hidden after the last.
    const auto& events = m_window.Events();
    EXPECT_EQ(events.front(), "progress 0..100@0");
    EXPECT_EQ(events.back(), "visible lUpdateTime=0");
}

TEST_F(ProgramFilesTest, PumpsMessagesAfterEachFileIsMarked) {
    Unpacked({"a.exe", "b.exe", "Report/c.fr3"});
    std::vector<std::string> lastLineAtPump;
    m_window.OnPump = [&] { lastLineAtPump.push_back(m_window.MemoLines().back()); };
    Install();
    EXPECT_EQ(lastLineAtPump,
              (std::vector<std::string>{"a.exe...[OK]", "b.exe...[OK]", "c.fr3...[OK]"}));
}

TEST_F(ProgramFilesTest, AMissingReportFolderGivesTwoLinesPerTemplate) {
    fs::remove(Program() / "Report");
    Unpacked({"Norvanework.exe", "Report/a.fr3", "Report/b.fr3"});
    const auto outcome = Install();
    EXPECT_EQ(outcome.entries, 3);
    EXPECT_EQ(outcome.failed, 2);
    EXPECT_EQ(m_window.MemoLines(),
              (std::vector<std::string>{"Norvanework.exe...[OK]", "a.fr3...",
                                        "error (2) No such file or directory", "b.fr3...",
                                        "error (2) No such file or directory"}));
    EXPECT_FALSE(fs::exists(Program() / "Report"));
    EXPECT_EQ(Events("progress").back(), "progress 0..3@3");
}

TEST_F(ProgramFilesTest, AMissingReportFolderIsJudgedByTheFolderItWouldBeMadeIn) {
    fs::remove(Program() / "Report");
    Unpacked({"Norvanework.exe", "Report/a.fr3"});
    const auto files = ListProgramFiles(Program().string(), Work().string());
    EXPECT_EQ(ProgramFilesProblem(files), std::nullopt);
    CreateDestinationFolders(files);
    EXPECT_TRUE(fs::is_directory(Program() / "Report"));
    EXPECT_EQ(Install().failed, 0);
    EXPECT_EQ(ReadFile(Program() / "Report/a.fr3"), "new Report/a.fr3");
}

TEST_F(ProgramFilesTest, NothingToCopyWritesNoLine) {
    const auto outcome = Install();
    EXPECT_EQ(outcome.entries, 0);
    EXPECT_TRUE(m_window.MemoLines().empty());
    EXPECT_EQ(Events("progress").back(), "progress 0..0@0");
    EXPECT_EQ(Events("visible"),
              (std::vector<std::string>{"visible lUpdateTime=1", "visible lUpdateTime=0"}));
    EXPECT_EQ(m_window.PumpCount(), 0);

    EXPECT_EQ(Install((Work() / "missing").string()).entries, 0);
}

TEST_F(ProgramFilesTest, TemplatesOnlyAndAnyLetterCaseOfTheMask) {
    Unpacked({"Report/x.fr3", "Report/Y.FR3", "Report/z.frx", "Report/deeper/w.fr3"});
    Install();
    EXPECT_EQ(m_window.MemoLines(), (std::vector<std::string>{"x.fr3...[OK]", "Y.FR3...[OK]"}));
    EXPECT_TRUE(fs::exists(Program() / "Report" / "Y.FR3"));
}

TEST_F(ProgramFilesTest, NamesEqualButForCaseAreCopiedNextToEachOther) {
    Unpacked({"b.exe", "A.EXE", "a.exe", "B.exe"});
    Install();
    EXPECT_EQ(m_window.MemoLines(), (std::vector<std::string>{"A.EXE...[OK]", "a.exe...[OK]",
                                                              "B.exe...[OK]", "b.exe...[OK]"}));
}

TEST_F(ProgramFilesTest, AMatchingSubFolderIsListedAndFails) {
    fs::create_directories(Work() / "tools.exe");
    Unpacked({"z.exe"});
    const auto outcome = Install();
    EXPECT_EQ(outcome.entries, 2);
    EXPECT_EQ(outcome.failed, 1);
    EXPECT_EQ(
        m_window.MemoLines(),
        (std::vector<std::string>{"tools.exe...", "error (21) Is a directory", "z.exe...[OK]"}));
    EXPECT_FALSE(fs::exists(Program() / "tools.exe"));
}

TEST_F(ProgramFilesTest, ReadOnlyDestinationsAreReplacedWithTheNewMode) {
    Unpacked({"Norvanework.exe"});
    fs::permissions(Work() / "Norvanework.exe", fs::perms(0755));
    WriteFile(Program() / "Norvanework.exe", "old");
    fs::permissions(Program() / "Norvanework.exe", fs::perms(0444));
    Install();
    EXPECT_EQ(m_window.MemoLines(), std::vector<std::string>{"Norvanework.exe...[OK]"});
    EXPECT_EQ(ReadFile(Program() / "Norvanework.exe"), "new Norvanework.exe");
    EXPECT_EQ(fs::status(Program() / "Norvanework.exe").permissions(), fs::perms(0755));
}

TEST_F(ProgramFilesTest, AFolderTheUserMayNotWriteFailsPerFileAndKeepsTheOldFiles) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "acting as another user needs root";
    Unpacked({"Norvanework.exe", "Report/a.fr3"});
    WriteFile(Program() / "Norvanework.exe", "old");
    fs::permissions(m_temp.Path(), fs::perms(0755));
    fs::permissions(Program(), fs::perms(0555));
    ASSERT_EQ(::chown((Program() / "Report").c_str(), 65534, 65534), 0);

    const std::string work = Work().string();
    const std::string program = Program().string();
    const int result = testing::AsNobody([&] {
        RecordingWindow window;
        const auto outcome = InstallProgramFiles(window, ListProgramFiles(program, work));
        const std::vector<std::string> expected = {"Norvanework.exe...",
                                                   "error (13) Permission denied", "a.fr3...[OK]"};
        return outcome.failed == 1 && window.MemoLines() == expected ? 0 : 1;
    });
    EXPECT_EQ(result, 0) << "the memo or the counts differed";
    EXPECT_EQ(ReadFile(Program() / "Norvanework.exe"), "old");
    EXPECT_EQ(ReadFile(Program() / "Report" / "a.fr3"), "new Report/a.fr3");
}

TEST_F(ProgramFilesTest, AFolderGivenWithATrailingSeparatorCopiesTheSame) {
    Unpacked({"x.exe", "Report/y.fr3"});
    const auto outcome = Install(Work().string() + "/");
    EXPECT_EQ(outcome.failed, 0);
    EXPECT_EQ(ReadFile(Program() / "x.exe"), "new x.exe");
    EXPECT_EQ(ReadFile(Program() / "Report" / "y.fr3"), "new Report/y.fr3");
}

} // namespace
} // namespace norvane::package
