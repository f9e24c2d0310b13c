#include "platform/file_lock.h"

#include "base/exceptions.h"
#include "support/expect_throw.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace norvane::platform {
namespace {

TEST(FileLock, OneHolderAtATimeUntilItsOwnerGoes) {
    testing::TempFolder folder;
    const std::string path = folder / "norvane-update.lock";
    std::optional<FileLock> first = FileLock::TryAcquire(path);
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(std::filesystem::exists(path));
    // Another open of the file, as another installer's would be, finds it held.
    EXPECT_FALSE(FileLock::TryAcquire(path).has_value());

    // A moved lock is still held.
    std::optional<FileLock> moved = std::move(first);
    first.reset();
    EXPECT_FALSE(FileLock::TryAcquire(path).has_value());

    moved.reset();
    EXPECT_TRUE(FileLock::TryAcquire(path).has_value());
}

TEST(FileLock, AFileThatCannotBeOpenedIsAnError) {
    testing::TempFolder folder;
    const std::string missing = folder / "missing/norvane-update.lock";
    EXPECT_THROW_MSG(FileLock::TryAcquire(missing), EOSError,
                     "не вдалося відкрити файл блокування " + missing +
                         ": No such file or directory");
    // Never through a link: the lock file must be the installer's own.
    const std::string link = folder / "norvane-update.lock";
    std::filesystem::create_symlink(folder / "elsewhere", link);
    EXPECT_THROW_MSG(FileLock::TryAcquire(link), EOSError,
                     "не вдалося відкрити файл блокування " + link +
                         ": Too many levels of symbolic links");
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "elsewhere"));
}

TEST(FileUseLock, OneHolderAtATimeAndTheFileUntouched) {
    testing::TempFolder folder;
    const std::string path = folder / "test.fdb";
    testing::WriteFile(path, "pages");
    std::optional<FileUseLock> first = FileUseLock::TryAcquire(path);
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(first->Held());
    // Another open of the file, as another installer's would be, finds it held; the file can
    // be opened, read and written all the same.
    EXPECT_FALSE(FileUseLock::TryAcquire(path).has_value());
    testing::WriteFile(path, "new pages");
    EXPECT_EQ(testing::ReadFile(path), "new pages");
    EXPECT_EQ(std::filesystem::file_size(path), 9u);

    first.reset();
    EXPECT_TRUE(FileUseLock::TryAcquire(path).has_value());
}

TEST(FileUseLock, AFileThatCannotBeOpenedHereHoldsNothing) {
    testing::TempFolder folder;
    const std::string missing = folder / "missing.fdb";
    const std::optional<FileUseLock> lock = FileUseLock::TryAcquire(missing);
    ASSERT_TRUE(lock.has_value());
    EXPECT_FALSE(lock->Held());
    EXPECT_FALSE(std::filesystem::exists(missing));
}

} // namespace
} // namespace norvane::platform
