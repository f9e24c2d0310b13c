#include "package/work_folder.h"

#include "platform/file_lock.h"

#include "support/as_nobody.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace norvane::package {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::WriteFile;

// Every file and folder under root, relative, folders ending in "/".
std::vector<std::string> Tree(const fs::path& root) {
    std::vector<std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        tree.push_back(entry.path().lexically_relative(root).generic_string() +
                       (entry.is_directory() ? "/" : ""));
    std::sort(tree.begin(), tree.end());
    return tree;
}

// The work folder as an earlier update leaves it, plus what the clean-up must not touch.
void MakeUsedWorkFolder(const fs::path& work) {
    for (const char* name :
         {"Norvanework.exe", "255.rar", "NOEXT", ".hidden", "up/255.01.~sql", "up/255.02.sql",
          "up/255.01.sql.log", "up/INFO_DOC.NOTE_U.ID 7.~blo", "up/deep/keep.sql", "Report/a.fr3",
          "Report/.hidden.fr3", "Report/old/keep.fr3", "other/keep.txt"})
        WriteFile(work / name, "x");
    WriteFile(work / "Report" / "read-only.fr3", "x");
    fs::permissions(work / "Report" / "read-only.fr3", fs::perms(0444));
}

TEST(CleanWorkFolder, DeletesFilesOfTheThreePlacesAndKeepsEveryFolder) {
    TempFolder work;
    MakeUsedWorkFolder(work.Path());
    CleanWorkFolder(work.Str());
    // A read-only file goes as well: on POSIX deleting is a change of the folder, and a stale
    // script left behind would be run again.
    EXPECT_EQ(Tree(work.Path()),
              (std::vector<std::string>{"Report/", "Report/old/", "Report/old/keep.fr3", "other/",
                                        "other/keep.txt", "up/", "up/deep/", "up/deep/keep.sql"}));
}

TEST(CleanWorkFolder, EmptyOrPartialFoldersAreFine) {
    TempFolder work;
    CleanWorkFolder(work.Str());
    EXPECT_TRUE(Tree(work.Path()).empty());

    WriteFile(work.Path() / "up" / "1.sql", "x");
    WriteFile(work.Path() / "x.exe", "x");
    CleanWorkFolder(work.Str());
    EXPECT_EQ(Tree(work.Path()), std::vector<std::string>{"up/"});

    EXPECT_NO_THROW(CleanWorkFolder(work / "missing"));
}

// The lock of the installer that cleans stays in place and stays held: with the file gone a
// second installer would lock a new one and work in the same folder.
TEST(CleanWorkFolder, TheLockFileStaysHeld) {
    TempFolder work;
    MakeUsedWorkFolder(work.Path());
    const std::string lockFile = work / std::string(WorkFolderLockName);
    auto lock = platform::FileLock::TryAcquire(lockFile);
    ASSERT_TRUE(lock.has_value());
    CleanWorkFolder(work.Str());
    EXPECT_TRUE(fs::exists(lockFile));
    EXPECT_FALSE(platform::FileLock::TryAcquire(lockFile).has_value());
    EXPECT_EQ(Tree(work.Path()),
              (std::vector<std::string>{"Report/", "Report/old/", "Report/old/keep.fr3",
                                        std::string(WorkFolderLockName), "other/", "other/keep.txt",
                                        "up/", "up/deep/", "up/deep/keep.sql"}));
}

// Links in place of its subfolders go before anything is deleted; what they led to is kept.
TEST(CleanWorkFolder, LinksInPlaceOfItsSubfoldersGoAndWhatTheyLedToStays) {
    TempFolder work;
    TempFolder elsewhere;
    WriteFile(elsewhere.Path() / "db" / "precious.sql", "keep me");
    WriteFile(elsewhere.Path() / "forms" / "precious.fr3", "keep me");
    fs::create_directory_symlink(elsewhere.Path() / "db", work.Path() / "up");
    fs::create_directory_symlink(elsewhere.Path() / "forms", work.Path() / "Report");
    CleanWorkFolder(work.Str());
    EXPECT_TRUE(Tree(work.Path()).empty());
    EXPECT_EQ(Tree(elsewhere.Path()),
              (std::vector<std::string>{"db/", "db/precious.sql", "forms/", "forms/precious.fr3"}));
}

TEST(CleanWorkFolder, FilesThatCannotBeDeletedAreLeftQuietly) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "acting as another user needs root";
    TempFolder temp;
    const fs::path work = temp.Path() / "nrv7.nvx";
    MakeUsedWorkFolder(work);
    fs::permissions(temp.Path(), fs::perms(0755));
    for (const auto& entry : fs::recursive_directory_iterator(work))
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
    ASSERT_EQ(std::system(("chown -R 65534:65534 '" + work.string() + "'").c_str()), 0);
    // The user may not change "up": its files stay, the other passes still run.
    fs::permissions(work / "up", fs::perms(0555));

    const std::string folder = work.string();
    EXPECT_EQ(testing::AsNobody([&] {
                  CleanWorkFolder(folder);
                  return 0;
              }),
              0);
    EXPECT_EQ(Tree(work), (std::vector<std::string>{"Report/", "Report/old/", "Report/old/keep.fr3",
                                                    "other/", "other/keep.txt", "up/",
                                                    "up/255.01.sql.log", "up/255.01.~sql",
                                                    "up/255.02.sql", "up/INFO_DOC.NOTE_U.ID 7.~blo",
                                                    "up/deep/", "up/deep/keep.sql"}));
}

} // namespace
} // namespace norvane::package
