#include "package/program_files.h"

#include "base/crc32.h"
#include "package/rar_archive.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "rar4/rar4_writer.h"
#include "support/as_nobody.h"
#include "support/expect_throw.h"
#include "support/recording_window.h"
#include "support/scratch_mount.h"
#include "support/socket_file.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

namespace norvane::package {
namespace {

namespace fs = std::filesystem;
using testing::MakeSocket;
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

// An interruption stops the copy after the file in hand: that one is whole, the next is
// never started.
TEST_F(ProgramFilesTest, AnInterruptionStopsAfterTheFileInHand) {
    Unpacked({"a.exe", "b.exe"});
    m_window.OnPump = [] { platform::RequestInterrupt(); };
    EXPECT_THROW_MSG(Install(), EUpdateAborted, "оновлення перервано");
    platform::ClearInterrupt();
    EXPECT_EQ(m_window.MemoLines(), std::vector<std::string>{"a.exe...[OK]"});
    EXPECT_EQ(ReadFile(Program() / "a.exe"), "new a.exe");
    EXPECT_FALSE(fs::exists(Program() / "b.exe"));
}

TEST_F(ProgramFilesTest, AFolderInPlaceOfAProgramIsTheProblemNamed) {
    Unpacked({"a.exe", "Norvanework.exe"});
    fs::create_directory(Program() / "Norvanework.exe");
    EXPECT_EQ(ProgramFilesProblem(ListProgramFiles(Program().string(), Work().string())),
              "файл " + (Program() / "Norvanework.exe").string() +
                  " неможливо замінити: Is a directory");
}

TEST_F(ProgramFilesTest, AProgramFolderOnAReadOnlyDiskIsTheProblemNamed) {
    Unpacked({"Norvanework.exe", "Report/a.fr3"});
    std::string whyNot;
    const auto disk = testing::ScratchMount::ReadOnly(Program().string(), whyNot);
    if (!disk)
        GTEST_SKIP() << whyNot;
    EXPECT_EQ(ProgramFilesProblem(ListProgramFiles(Program().string(), Work().string())),
              "каталог " + Program().string() + " недоступний для запису: Read-only file system");
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

// The program files a package would change: what the install copies from it and finds
// missing or different in the program folder. Every other member is none of its business.
class ProgramFilesDifferingTest : public ::testing::Test {
protected:
    ProgramFilesDifferingTest() { fs::create_directories(Program() / "Report"); }

    fs::path Program() const { return m_temp.Path() / "Norvane"; }
    std::string In(const std::string& name) const { return (Program() / name).string(); }

    void Member(const std::string& name, const std::string& bytes) {
        m_members.emplace_back(name, bytes);
    }

    // Written by the project's writer; the members named are marked as packed by another
    // method, so that only their CRC can tell them.
    CheckedPackage Package(std::initializer_list<std::string> packed = {}) {
        const auto path = m_temp.Path() / "255.rar";
        {
            rar4::ArchiveWriter writer(path);
            writer.AddFolder("Report", 0);
            for (const auto& [name, bytes] : m_members)
                writer.AddFile(name, bytes, 0);
            writer.Finish();
        }
        m_archive = ReadFile(path);
        const auto bytes = std::as_bytes(std::span(m_archive.data(), m_archive.size()));
        for (const RarMember& member : ListRarArchive(bytes)) {
            if (std::find(packed.begin(), packed.end(), member.name) == packed.end())
                continue;
            const std::size_t at = member.dataOffset - 32 - member.name.size();
            m_archive[at + 25] = 0x33;
            const auto crc =
                Crc32(std::string_view(m_archive).substr(at + 2, 30 + member.name.size()));
            m_archive[at] = static_cast<char>(crc & 0xFF);
            m_archive[at + 1] = static_cast<char>((crc >> 8) & 0xFF);
        }
        const auto edited = std::as_bytes(std::span(m_archive.data(), m_archive.size()));
        return {edited, ListRarArchive(edited)};
    }

    std::vector<std::string> Differing(std::initializer_list<std::string> packed = {}) {
        return ProgramFilesDiffering(Package(packed), Program().string());
    }

    TempFolder m_temp;
    std::vector<std::pair<std::string, std::string>> m_members;
    std::string m_archive;
};

TEST_F(ProgramFilesDifferingTest, NamesTheProgramsAndTemplatesMissingOrChanged) {
    Member("Norvanework.exe", "program 255");
    WriteFile(Program() / "Norvanework.exe", "program 255");
    Member("Helper.exe", "helper");
    WriteFile(Program() / "Helper.exe", "helpex");
    Member("Tool.EXE", "tool");
    Member("Dir.exe", "dir");
    fs::create_directories(Program() / "Dir.exe");
    Member("Shorter.exe", "shorter");
    WriteFile(Program() / "Shorter.exe", "short");
    Member("Report/Акт.fr3", "act");
    WriteFile(Program() / "Report" / "Акт.fr3", "act");
    Member("Report/New.fr3", "new");

    EXPECT_EQ(Differing(),
              (std::vector<std::string>{In("Helper.exe"), In("Tool.EXE"), In("Dir.exe"),
                                        In("Shorter.exe"), In("Report/New.fr3")}));
}

TEST_F(ProgramFilesDifferingTest, MembersTheInstallDoesNotCopyAreLeftOut) {
    for (const char* name : {"readme.txt", "up/255.01.sql", "up/x.exe", "report/lower.fr3",
                             "Report/notes.txt", "Report/deeper/a.fr3"})
        Member(name, "never copied");
    EXPECT_EQ(Differing(), std::vector<std::string>{});
}

// A template larger than one read step differing in its first bytes is told all the same.
TEST_F(ProgramFilesDifferingTest, AChangeInTheFirstReadStepOfALargeFileIsFound) {
    const std::string large(platform::ReadStepSize + 1000, 'a');
    Member("Report/Large.fr3", large);
    WriteFile(Program() / "Report" / "Large.fr3", "b" + large.substr(1));
    Member("Report/Same.fr3", large);
    WriteFile(Program() / "Report" / "Same.fr3", large);
    EXPECT_EQ(Differing(), std::vector<std::string>{In("Report/Large.fr3")});
}

TEST_F(ProgramFilesDifferingTest, AMemberPackedByAnotherMethodIsJudgedByItsCrc) {
    Member("Same.exe", "same bytes");
    WriteFile(Program() / "Same.exe", "same bytes");
    Member("Other.exe", "same size!");
    WriteFile(Program() / "Other.exe", "other size");
    EXPECT_EQ(Differing({"Same.exe", "Other.exe"}), std::vector<std::string>{In("Other.exe")});
}

// What cannot be read is counted as differing: the install copies it over anyway.
TEST_F(ProgramFilesDifferingTest, AFileThatCannotBeOpenedDiffers) {
    Member("Empty.exe", "");
    MakeSocket(Program() / "Empty.exe");
    Member("Report/Empty.fr3", "");
    MakeSocket(Program() / "Report" / "Empty.fr3");
    EXPECT_EQ(Differing({"Report\\Empty.fr3"}),
              (std::vector<std::string>{In("Empty.exe"), In("Report/Empty.fr3")}));
}

TEST_F(ProgramFilesDifferingTest, AFileThatCannotBeReadDiffers) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "acting as another user needs root";
    Member("Locked.exe", "locked");
    WriteFile(Program() / "Locked.exe", "locked");
    Member("Packed.exe", "packed");
    WriteFile(Program() / "Packed.exe", "packed");
    fs::permissions(m_temp.Path(), fs::perms(0755));
    fs::permissions(Program(), fs::perms(0755));
    fs::permissions(Program() / "Locked.exe", fs::perms::none);
    fs::permissions(Program() / "Packed.exe", fs::perms::none);
    const CheckedPackage package = Package({"Packed.exe"});
    const int result = testing::AsNobody([&] {
        const auto differing = ProgramFilesDiffering(package, Program().string());
        return differing == std::vector<std::string>{In("Locked.exe"), In("Packed.exe")} ? 0 : 1;
    });
    EXPECT_EQ(result, 0) << "a file nobody may read was taken as the member";
}

} // namespace
} // namespace norvane::package
