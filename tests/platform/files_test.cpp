#include "platform/files.h"

#include "base/exceptions.h"
#include "platform/whole_file.h"
#include "support/as_nobody.h"
#include "support/expect_throw.h"
#include "support/scratch_mount.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace norvane::platform {
namespace {

namespace fs = std::filesystem;
using testing::AsNobody;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

std::span<const std::byte> Bytes(std::string_view text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// The names in a folder, so that a left-over temporary file shows.
std::vector<std::string> NamesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Found(const std::string& folder, std::string_view mask) {
    std::vector<std::string> names;
    for (const auto& entry : FindEntries(folder, mask))
        names.push_back(entry.name + (entry.isFolder ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FindEntries, FollowsWindowsMaskRulesWithEveryEntry) {
    TempFolder temp;
    WriteFile(temp.Path() / "Main.EXE", "x");
    WriteFile(temp.Path() / "tool.exe", "x");
    WriteFile(temp.Path() / ".hidden", "x");
    WriteFile(temp.Path() / "noext", "x");
    WriteFile(temp.Path() / "up" / "inner.exe", "x");
    fs::create_directory(temp.Path() / "odd.exe");
    fs::create_directory_symlink(temp.Path() / "up", temp.Path() / "link");
    // A link is what it leads to; one that leads nowhere is no folder.
    fs::create_symlink(temp.Path() / "tool.exe", temp.Path() / "tool-link.exe");
    fs::create_symlink(temp.Path() / "missing", temp.Path() / "broken.exe");

    struct Case {
        std::string_view mask;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"*.*",
         {".hidden", "Main.EXE", "broken.exe", "link/", "noext", "odd.exe/", "tool-link.exe",
          "tool.exe", "up/"}},
        {"*",
         {".hidden", "Main.EXE", "broken.exe", "link/", "noext", "odd.exe/", "tool-link.exe",
          "tool.exe", "up/"}},
        {"*.exe", {"Main.EXE", "broken.exe", "odd.exe/", "tool-link.exe", "tool.exe"}},
        {"MAIN.exe", {"Main.EXE"}},
        {"*.sql", {}},
        {"?oext", {"noext"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mask);
        std::vector<std::string> expected = c.names;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Found(temp.Str(), c.mask), expected);
    }
    EXPECT_TRUE(FindEntries(temp / "missing", "*.*").empty());
    EXPECT_TRUE(FindEntries(temp / "noext", "*.*").empty());
}

TEST(Folders, CreateFolderIsPrivateAndOneLevel) {
    TempFolder temp;
    const std::string work = temp / "nrv7.nvx";
    ASSERT_TRUE(CreateFolder(work));
    EXPECT_EQ(ModeOf(work), 0700u);
    EXPECT_TRUE(FolderExists(work));
    EXPECT_FALSE(FileExists(work));
    EXPECT_FALSE(CreateFolder(work));
    EXPECT_FALSE(CreateFolder(temp / "a/b"));
    WriteFile(temp.Path() / "file", "x");
    EXPECT_TRUE(FileExists(temp / "file"));
    EXPECT_FALSE(FolderExists(temp / "file"));
    EXPECT_FALSE(FileExists(temp / "missing"));
}

TEST(Folders, UnsafeFolderReasonNamesLinksStrangersAndFiles) {
    TempFolder temp;
    const std::string own = temp / "own";
    ASSERT_TRUE(CreateFolder(own));
    EXPECT_EQ(UnsafeFolderReason(own), std::nullopt);
    EXPECT_EQ(UnsafeFolderReason(temp / "missing"), std::nullopt);

    fs::create_directory_symlink(own, temp.Path() / "link");
    const auto link = UnsafeFolderReason(temp / "link");
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(*link, "каталог " + temp / "link" + " є символічним посиланням");

    WriteFile(temp.Path() / "file", "x");
    EXPECT_EQ(UnsafeFolderReason(temp / "file"), temp / "file" + " не є каталогом");

    for (const auto mode : {fs::perms::all, fs::perms::owner_all | fs::perms::group_write,
                            fs::perms::owner_all | fs::perms::others_write}) {
        fs::permissions(own, mode);
        EXPECT_EQ(UnsafeFolderReason(own),
                  "каталог " + own + " доступний для запису іншим користувачам");
    }
    fs::permissions(own, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_exec);
    EXPECT_EQ(UnsafeFolderReason(own), std::nullopt);

    if (::geteuid() != 0)
        GTEST_SKIP() << "handing a folder to another user needs root";
    const std::string foreign = temp / "foreign";
    ASSERT_TRUE(CreateFolder(foreign));
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    const auto stranger = UnsafeFolderReason(foreign);
    ASSERT_TRUE(stranger.has_value());
    EXPECT_EQ(*stranger, "каталог " + foreign + " належить іншому користувачеві");
}

TEST(Files, DeleteFileRemovesFilesOnly) {
    TempFolder temp;
    WriteFile(temp.Path() / "a.sql", "x");
    fs::create_directory(temp.Path() / "up");
    EXPECT_TRUE(DeleteFile(temp / "a.sql"));
    EXPECT_FALSE(fs::exists(temp.Path() / "a.sql"));
    EXPECT_FALSE(DeleteFile(temp / "up"));
    EXPECT_TRUE(fs::is_directory(temp.Path() / "up"));
    EXPECT_FALSE(DeleteFile(temp / "missing"));
}

TEST(Files, FileSizeOfFilesOnly) {
    TempFolder temp;
    WriteFile(temp.Path() / "Кошторис.fbk", "12345");
    WriteFile(temp.Path() / "empty.fbk", "");
    EXPECT_EQ(FileSize(temp / "Кошторис.fbk"), 5u);
    EXPECT_EQ(FileSize(temp / "empty.fbk"), 0u);
    EXPECT_EQ(FileSize(temp.Str()), std::nullopt);
    EXPECT_EQ(FileSize(temp / "missing"), std::nullopt);
}

TEST(Files, MoveFileNeverReplacesATarget) {
    TempFolder temp;
    WriteFile(temp.Path() / "1.sql", "script");
    ASSERT_TRUE(MoveFile(temp / "1.sql", temp / "1.~sql"));
    EXPECT_EQ(NamesIn(temp.Path()), std::vector<std::string>{"1.~sql"});
    EXPECT_EQ(ReadFile(temp.Path() / "1.~sql"), "script");

    WriteFile(temp.Path() / "2.sql", "new");
    WriteFile(temp.Path() / "2.~sql", "old");
    EXPECT_FALSE(MoveFile(temp / "2.sql", temp / "2.~sql"));
    EXPECT_EQ(ReadFile(temp.Path() / "2.sql"), "new");
    EXPECT_EQ(ReadFile(temp.Path() / "2.~sql"), "old");
    EXPECT_FALSE(MoveFile(temp / "missing", temp / "x"));
}

TEST(Files, MoveFileStillMovesWhereHardLinksAreRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "acting as another user needs root";
    if (ReadFile("/proc/sys/fs/protected_hardlinks") != "1\n")
        GTEST_SKIP() << "this system lets any user link any file";
    // Protected hard links: another user's file that one may not write cannot be linked, but
    // it can still be renamed in a folder one may write.
    TempFolder temp;
    fs::permissions(temp.Path(), fs::perms(0777));
    WriteFile(temp.Path() / "1.sql", "script");
    WriteFile(temp.Path() / "2.sql", "new");
    WriteFile(temp.Path() / "2.~sql", "old");
    const std::string folder = temp.Str();
    EXPECT_EQ(AsNobody([&] {
                  const std::string probe = folder + "/probe";
                  if (::link((folder + "/1.sql").c_str(), probe.c_str()) == 0 || errno != EPERM)
                      return 10;
                  if (!MoveFile(folder + "/1.sql", folder + "/1.~sql"))
                      return 1;
                  // Without links the existing target is still never replaced.
                  return MoveFile(folder + "/2.sql", folder + "/2.~sql") ? 2 : 0;
              }),
              0);
    EXPECT_EQ(NamesIn(temp.Path()), (std::vector<std::string>{"1.~sql", "2.sql", "2.~sql"}));
    EXPECT_EQ(ReadFile(temp.Path() / "1.~sql"), "script");
    EXPECT_EQ(ReadFile(temp.Path() / "2.~sql"), "old");
}

TEST(SystemErrorText, IsTheSystemTextWithoutTrailingStops) {
    EXPECT_EQ(SystemErrorText(ENOENT), "No such file or directory");
    EXPECT_EQ(SystemErrorText(EACCES), "Permission denied");
    for (std::uint32_t code : {1u, 2u, 13u, 21u, 28u, 99999u}) {
        const std::string text = SystemErrorText(code);
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text.back(), '.');
        EXPECT_GT(static_cast<unsigned char>(text.back()), ' ');
    }
}

TEST(CopyFileReplacing, ReplacesWholeAndKeepsTheSourceMode) {
    TempFolder temp;
    WriteFile(temp.Path() / "work" / "Norvanework.exe", "new program");
    WriteFile(temp.Path() / "work" / "notes.fr3", "template");
    fs::permissions(temp.Path() / "work" / "Norvanework.exe", fs::perms(0755));
    fs::permissions(temp.Path() / "work" / "notes.fr3", fs::perms(0640));
    WriteFile(temp.Path() / "prog" / "Norvanework.exe", "a much longer old program file");
    fs::permissions(temp.Path() / "prog" / "Norvanework.exe", fs::perms(0600));

    EXPECT_EQ(CopyFileReplacing(temp / "work/Norvanework.exe", temp / "prog/Norvanework.exe"),
              std::nullopt);
    EXPECT_EQ(CopyFileReplacing(temp / "work/notes.fr3", temp / "prog/notes.fr3"), std::nullopt);
    EXPECT_EQ(ReadFile(temp.Path() / "prog" / "Norvanework.exe"), "new program");
    EXPECT_EQ(ModeOf(temp / "prog/Norvanework.exe"), 0755u);
    EXPECT_EQ(ReadFile(temp.Path() / "prog" / "notes.fr3"), "template");
    EXPECT_EQ(ModeOf(temp / "prog/notes.fr3"), 0640u);
    EXPECT_EQ(NamesIn(temp.Path() / "prog"),
              (std::vector<std::string>{"Norvanework.exe", "notes.fr3"}));
}

TEST(CopyFileReplacing, ReplacesAReadOnlyDestinationInAWritableFolder) {
    // Replacing a file is a change of its folder on POSIX, as rename and unlink are.
    TempFolder temp;
    WriteFile(temp.Path() / "new.exe", "new");
    WriteFile(temp.Path() / "old.exe", "old and read-only");
    fs::permissions(temp.Path() / "new.exe", fs::perms(0755));
    fs::permissions(temp.Path() / "old.exe", fs::perms(0444));
    EXPECT_EQ(CopyFileReplacing(temp / "new.exe", temp / "old.exe"), std::nullopt);
    EXPECT_EQ(ReadFile(temp.Path() / "old.exe"), "new");
    EXPECT_EQ(ModeOf(temp / "old.exe"), 0755u);
}

TEST(CopyFileReplacing, FailuresGiveCodeAndTextAndLeaveTheDestinationAlone) {
    TempFolder temp;
    WriteFile(temp.Path() / "work" / "a.exe", "new");
    fs::create_directory(temp.Path() / "work" / "sub.exe");
    WriteFile(temp.Path() / "prog" / "a.exe", "old program");
    fs::create_directory(temp.Path() / "prog" / "folder.exe");

    struct Case {
        const char* what;
        std::string source, destination;
        std::uint32_t code;
    };
    const Case cases[] = {
        {"missing destination folder", temp / "work/a.exe", temp / "prog/Report/a.fr3", ENOENT},
        {"missing source", temp / "work/none.exe", temp / "prog/a.exe", ENOENT},
        {"source is a folder", temp / "work/sub.exe", temp / "prog/a.exe", EISDIR},
        {"destination is a folder", temp / "work/a.exe", temp / "prog/folder.exe", EISDIR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto error = CopyFileReplacing(c.source, c.destination);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->code, c.code);
        EXPECT_EQ(error->message, SystemErrorText(c.code));
        // Nothing half-written is left: no temporary file, the old program intact.
        EXPECT_EQ(NamesIn(temp.Path() / "prog"), (std::vector<std::string>{"a.exe", "folder.exe"}));
        EXPECT_EQ(ReadFile(temp.Path() / "prog" / "a.exe"), "old program");
    }
    EXPECT_EQ(SystemErrorText(ENOENT), "No such file or directory");
}

TEST(CopyFileReplacing, AFolderTheUserMayNotWriteFailsWithAccessDenied) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "acting as another user needs root";
    TempFolder temp;
    WriteFile(temp.Path() / "work" / "a.exe", "new");
    WriteFile(temp.Path() / "prog" / "a.exe", "old");
    fs::permissions(temp.Path(), fs::perms(0755));
    fs::permissions(temp.Path() / "work", fs::perms(0755));
    fs::permissions(temp.Path() / "work" / "a.exe", fs::perms(0644));
    fs::permissions(temp.Path() / "prog", fs::perms(0555));
    const std::string source = temp / "work/a.exe";
    const std::string destination = temp / "prog/a.exe";
    const int code = AsNobody([&] {
        const auto error = CopyFileReplacing(source, destination);
        return error ? static_cast<int>(error->code) : 0;
    });
    EXPECT_EQ(code, EACCES);
    EXPECT_EQ(ReadFile(destination), "old");
    EXPECT_EQ(NamesIn(temp.Path() / "prog"), std::vector<std::string>{"a.exe"});
}

TEST(ReadWholeFile, ReadsEveryByteOrRaises) {
    TempFolder temp;
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    WriteFile(temp.Path() / "big.bin", bytes);
    EXPECT_EQ(ReadWholeFile(temp / "big.bin"), bytes);
    WriteFile(temp.Path() / "empty", "");
    EXPECT_EQ(ReadWholeFile(temp / "empty"), "");

    const std::string missing = temp / "missing.sql";
    EXPECT_THROW_MSG(ReadWholeFile(missing), EFOpenError,
                     "Cannot open file \"" + missing + "\". No such file or directory");
    fs::create_directory(temp.Path() / "up");
    EXPECT_THROW_MSG(ReadWholeFile(temp / "up"), EReadError, "Stream read error");
}

TEST(ReadWholeFile, ReadsAFileThatReportsNoLengthToItsEnd) {
    // Files of /proc report a length of 0 and hold text all the same.
    const std::string status = ReadWholeFile("/proc/self/status");
    EXPECT_EQ(status.rfind("Name:", 0), 0u);
    EXPECT_EQ(status.back(), '\n');
}

// A file as ReadWhole sees it: at most step bytes a read, 0 at the end.
struct SteppedFile {
    std::string bytes;
    std::size_t step;
    std::size_t at = 0;
    std::size_t operator()(char* data, std::size_t size) {
        const std::size_t count = std::min({size, step, bytes.size() - at});
        std::copy_n(bytes.data() + at, count, data);
        at += count;
        return count;
    }
};

TEST(ReadWhole, TakesEveryByteWhateverLengthWasReported) {
    struct Case {
        const char* name;
        std::size_t length;
        std::uint64_t reported;
        std::size_t step;
    };
    for (const Case& c : std::vector<Case>{
             {"the reported length in one read", 300000, 300000, 1u << 20},
             {"short reads", 300000, 300000, 1000},
             {"a file grown since its length was taken", 300000, 100000, 1u << 20},
             {"a file cut since its length was taken", 100000, 300000, 1u << 20},
             {"no length reported", 300000, 0, 7000},
             {"an empty file", 0, 0, 1u << 20},
         }) {
        std::string bytes(c.length, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 13);
        EXPECT_EQ(ReadWhole(c.reported, SteppedFile{bytes, c.step}), bytes) << c.name;
    }
}

TEST(WriteNewFile, ReplacesTheWholeFile) {
    TempFolder temp;
    const std::string path = temp / "255.rar";
    WriteFile(path, std::string(5000, 'o'));
    WriteNewFile(path, Bytes("short"));
    EXPECT_EQ(ReadFile(path), "short");
    WriteNewFile(path, {});
    EXPECT_EQ(ReadFile(path), "");
    EXPECT_TRUE(fs::exists(path));
}

TEST(WriteNewFile, RaisesTheStreamErrors) {
    TempFolder temp;
    const std::string path = temp / "missing/255.rar";
    EXPECT_THROW_MSG(WriteNewFile(path, Bytes("x")), EFCreateError,
                     "Cannot create file \"" + path + "\". No such file or directory");
    // A device in the way is neither removed nor written.
    EXPECT_THROW_MSG(WriteNewFile("/dev/full", Bytes("package bytes")), EFCreateError,
                     "Cannot create file \"/dev/full\". File exists");
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// A link at the name, to a file or to nowhere, is replaced by the new file; what it leads to
// is neither written nor made.
TEST(WriteNewFile, ReplacesALinkAndNeverWritesThroughIt) {
    TempFolder temp;
    TempFolder elsewhere;
    WriteFile(elsewhere.Path() / "precious", "keep me");
    for (const char* target : {"precious", "never"}) {
        const std::string path = temp / "255.rar";
        fs::create_symlink(elsewhere.Path() / target, path);
        WriteNewFile(path, Bytes("package"));
        EXPECT_FALSE(fs::is_symlink(path)) << target;
        EXPECT_EQ(ReadFile(path), "package") << target;
        fs::remove(path);
    }
    EXPECT_EQ(ReadFile(elsewhere.Path() / "precious"), "keep me");
    EXPECT_FALSE(fs::exists(elsewhere.Path() / "never"));
}

TEST(AppendToFile, NeverWritesThroughALink) {
    TempFolder temp;
    TempFolder elsewhere;
    WriteFile(elsewhere.Path() / "precious", "keep me");
    fs::create_symlink(elsewhere.Path() / "precious", temp.Path() / "1.sql.log");
    fs::create_symlink(elsewhere.Path() / "never", temp.Path() / "2.sql.log");
    EXPECT_FALSE(AppendToFile(temp / "1.sql.log", "log"));
    EXPECT_FALSE(AppendToFile(temp / "2.sql.log", "log"));
    EXPECT_EQ(ReadFile(elsewhere.Path() / "precious"), "keep me");
    EXPECT_FALSE(fs::exists(elsewhere.Path() / "never"));
}

TEST(Files, RemoveLinkRemovesLinksOnly) {
    TempFolder temp;
    TempFolder elsewhere;
    WriteFile(elsewhere.Path() / "up" / "precious.sql", "keep me");
    fs::create_directory_symlink(elsewhere.Path() / "up", temp.Path() / "up");
    fs::create_directory(temp.Path() / "Report");
    EXPECT_TRUE(RemoveLink(temp / "up"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(temp.Path() / "up")));
    EXPECT_EQ(ReadFile(elsewhere.Path() / "up" / "precious.sql"), "keep me");
    EXPECT_FALSE(RemoveLink(temp / "Report"));
    EXPECT_TRUE(fs::is_directory(temp.Path() / "Report"));
    EXPECT_FALSE(RemoveLink(temp / "missing"));
}

// A disk that fills up part-way through a write, not at its first byte.
class FullDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string whyNot;
        m_disk = testing::ScratchMount::SmallDisk(m_folder.Str(), 64 * 1024, whyNot);
        if (!m_disk)
            GTEST_SKIP() << whyNot;
    }
    TempFolder m_folder;
    std::unique_ptr<testing::ScratchMount> m_disk;
    const std::string m_bytes = std::string(1024 * 1024, 'p');
};

TEST_F(FullDiskTest, AWriteCutOffRaisesAndKeepsWhatWasWritten) {
    const std::string path = m_folder / "255.rar";
    EXPECT_THROW_MSG(WriteNewFile(path, Bytes(m_bytes)), EWriteError, "Stream write error");
    const auto written = fs::file_size(path);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, m_bytes.size());
}

TEST_F(FullDiskTest, ACopyCutOffLeavesTheDestinationAsItWas) {
    TempFolder elsewhere;
    WriteFile(elsewhere.Path() / "Norvanework.exe", m_bytes);
    const std::string destination = m_folder / "Norvanework.exe";
    WriteFile(destination, "old program");
    const auto error = CopyFileReplacing(elsewhere / "Norvanework.exe", destination);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, static_cast<std::uint32_t>(ENOSPC));
    EXPECT_EQ(error->message, "No space left on device");
    EXPECT_EQ(ReadFile(destination), "old program");
    EXPECT_EQ(NamesIn(m_folder.Path()), std::vector<std::string>{"Norvanework.exe"});
}

TEST_F(FullDiskTest, AnAppendThatDoesNotFitFails) {
    EXPECT_FALSE(AppendRecord(m_folder / "norvane-update.log", m_bytes));
    EXPECT_FALSE(AppendToFile(m_folder / "255.01.sql.log", m_bytes));
}

// A folder mounted read-only, as a program folder on a write-protected disk: even root may
// not write there.
class ReadOnlyDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(m_folder.Path() / "Norvanework.exe", "old program");
        fs::create_directory(m_folder.Path() / "Report");
        fs::create_directory_symlink("/nonexistent", m_folder.Path() / "up");
        std::string whyNot;
        m_disk = testing::ScratchMount::ReadOnly(m_folder.Str(), whyNot);
        if (!m_disk)
            GTEST_SKIP() << whyNot;
    }
    TempFolder m_folder;
    std::unique_ptr<testing::ScratchMount> m_disk;
};

TEST_F(ReadOnlyDiskTest, TheChecksBeforeAnInstallTellWhatCannotBeWritten) {
    const auto folder = CheckFolderWritable(m_folder.Str());
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(folder->code, static_cast<std::uint32_t>(EROFS));
    EXPECT_EQ(folder->message, "Read-only file system");
    // A file is replaced by a rename, which the folder's check covers.
    EXPECT_EQ(CheckReplaceable(m_folder / "Norvanework.exe"), std::nullopt);
    EXPECT_TRUE(FreeDiskSpace(m_folder.Str()).has_value());
}

TEST_F(ReadOnlyDiskTest, NothingIsWrittenAndTheOldFilesStay) {
    TempFolder elsewhere;
    WriteFile(elsewhere.Path() / "Norvanework.exe", "new program");
    const auto copy =
        CopyFileReplacing(elsewhere / "Norvanework.exe", m_folder / "Norvanework.exe");
    ASSERT_TRUE(copy.has_value());
    EXPECT_EQ(copy->code, static_cast<std::uint32_t>(EROFS));
    EXPECT_EQ(ReadFile(m_folder.Path() / "Norvanework.exe"), "old program");
    EXPECT_FALSE(AppendRecord(m_folder / "norvane-update.log", "line\r\n"));
    EXPECT_FALSE(AppendToFile(m_folder / "255.01.sql.log", "line\r\n"));
    EXPECT_THROW_CONTAINING(WriteNewFile(m_folder / "255.rar", Bytes("rar")), EFCreateError,
                            "Read-only file system");
    // A link that cannot be removed is said to be still there.
    EXPECT_FALSE(RemoveLink(m_folder / "up"));
    EXPECT_TRUE(fs::is_symlink(m_folder.Path() / "up"));
    EXPECT_EQ(NamesIn(m_folder.Path()),
              (std::vector<std::string>{"Norvanework.exe", "Report", "up"}));
}

TEST(FolderChecks, EachWayAPlaceCanBeWrongIsTold) {
    TempFolder temp;
    WriteFile(temp.Path() / "file", "x");
    fs::create_directory(temp.Path() / "folder.exe");
    const std::string file = temp / "file";
    const std::string belowFile = temp / "file/sub";

    EXPECT_EQ(CheckFolderWritable(temp.Str()), std::nullopt);
    EXPECT_EQ(NamesIn(temp.Path()), (std::vector<std::string>{"file", "folder.exe"}))
        << "the probe file was left behind";
    struct Case {
        const char* what;
        std::optional<SystemError> error;
        std::optional<std::uint32_t> code;
    };
    const Case cases[] = {
        {"writable: a missing folder", CheckFolderWritable(temp / "missing"), ENOENT},
        {"writable: a file", CheckFolderWritable(file), ENOTDIR},
        {"replaceable: a missing file", CheckReplaceable(temp / "missing"), std::nullopt},
        {"replaceable: a file", CheckReplaceable(file), std::nullopt},
        {"replaceable: a folder", CheckReplaceable(temp / "folder.exe"), EISDIR},
        {"replaceable: below a file", CheckReplaceable(belowFile), ENOTDIR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(c.error.has_value(), c.code.has_value());
        if (c.code) {
            EXPECT_EQ(c.error->code, *c.code);
            EXPECT_EQ(c.error->message, SystemErrorText(*c.code));
        }
    }

    EXPECT_EQ(UnsafeFolderReason(belowFile),
              "каталог " + belowFile + " неможливо перевірити: Not a directory");
    EXPECT_EQ(FreeDiskSpace(temp / "missing"), std::nullopt);
    EXPECT_FALSE(AppendRecord(temp / "missing/norvane-update.log", "line\r\n"));
}

TEST_F(FullDiskTest, TheFreeSpaceIsThatOfTheDiskThePathIsOn) {
    const auto free = FreeDiskSpace(m_folder.Str());
    ASSERT_TRUE(free.has_value());
    EXPECT_LE(*free, 64u * 1024);
    WriteFile(m_folder.Path() / "some", std::string(16 * 1024, 'x'));
    EXPECT_LT(FreeDiskSpace(m_folder.Str()), free);
}

// A move is a rename on one disk; to another disk it fails and the file stays where it was.
TEST_F(FullDiskTest, AMoveToAnotherDiskFailsAndKeepsTheFile) {
    TempFolder elsewhere;
    WriteFile(m_folder.Path() / "1.sql", "script");
    WriteFile(elsewhere.Path() / "2.~sql", "old");
    EXPECT_FALSE(MoveFile(m_folder / "1.sql", elsewhere / "1.~sql"));
    EXPECT_FALSE(MoveFile(m_folder / "1.sql", elsewhere / "2.~sql"));
    EXPECT_EQ(ReadFile(m_folder.Path() / "1.sql"), "script");
    EXPECT_EQ(NamesIn(elsewhere.Path()), std::vector<std::string>{"2.~sql"});
    EXPECT_EQ(ReadFile(elsewhere.Path() / "2.~sql"), "old");
}

TEST(CopyFileReplacing, ADestinationWithoutAFolderIsInTheCurrentFolder) {
    TempFolder temp;
    WriteFile(temp.Path() / "work" / "a.exe", "new");
    WriteFile(temp.Path() / "prog" / "a.exe", "old");
    const fs::path old = fs::current_path();
    fs::current_path(temp.Path() / "prog");
    const auto error = CopyFileReplacing(temp / "work/a.exe", "a.exe");
    fs::current_path(old);
    EXPECT_EQ(error, std::nullopt);
    EXPECT_EQ(ReadFile(temp.Path() / "prog" / "a.exe"), "new");
    EXPECT_EQ(NamesIn(temp.Path() / "prog"), std::vector<std::string>{"a.exe"});
}

TEST(AppendToFile, CreatesAppendsAndGivesWayToAHolder) {
    TempFolder temp;
    const std::string log = temp / "1.sql.log";
    EXPECT_TRUE(AppendToFile(log, "first\r\n"));
    EXPECT_TRUE(AppendToFile(log, "second\r\n"));
    EXPECT_EQ(ReadFile(log), "first\r\nsecond\r\n");
    EXPECT_FALSE(AppendToFile(temp / "missing/x.log", "x"));

    const int holder = ::open(log.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_FALSE(AppendToFile(log, "third\r\n"));
    ::close(holder);
    EXPECT_TRUE(AppendToFile(log, "third\r\n"));
    EXPECT_EQ(ReadFile(log), "first\r\nsecond\r\nthird\r\n");
}

TEST(CompareTextUserLocale, IgnoresCaseAndStaysTotal) {
    struct Case {
        std::string_view a, b;
        int sign;
    };
    const Case cases[] = {
        {"abc", "ABD", -1},
        {"ABD", "abc", 1},
        {"b", "A", 1},
        {"same", "same", 0},
        {"", "a", -1},
        {"Z.EXE", "a.exe", 1},
        // Equal but for case: ordered, never equal, so a sort is the same on every run.
        {"X.EXE", "x.exe", -1},
        {"x.exe", "X.EXE", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " ? " + std::string(c.b));
        const int result = CompareTextUserLocale(c.a, c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign);
    }
    std::vector<std::string> names = {"b.fr3", "A.fr3", "B.fr3", "a.fr3", "c.FR3"};
    std::sort(names.begin(), names.end(), [](const std::string& x, const std::string& y) {
        return CompareTextUserLocale(x, y) < 0;
    });
    EXPECT_EQ(names, (std::vector<std::string>{"A.fr3", "a.fr3", "B.fr3", "b.fr3", "c.FR3"}));
}

} // namespace
} // namespace norvane::platform
