#include "platform/files.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace norvane::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::WriteFile;

std::vector<std::string> Under(const TempFolder& folder, std::vector<std::string> names) {
    for (auto& name : names)
        name = folder / name;
    return names;
}

TEST(CollectFiles, ListsMatchingEntriesAsFullPathsSortedWithoutCase) {
    TempFolder temp;
    for (const char* name : {"b.sql", "C.SQL", "a.sql", "B.sql", "notes.txt", ".hidden.sql"})
        WriteFile(temp.Path() / name, "x");
    fs::create_directory(temp.Path() / "old.sql");

    std::vector<std::string> list;
    CollectFiles(list, temp.Str(), "*.sql");
    // Names equal but for case stand next to each other, upper case first on a tie.
    EXPECT_EQ(list, Under(temp, {".hidden.sql", "a.sql", "B.sql", "b.sql", "C.SQL", "old.sql"}));
}

TEST(CollectFiles, StarDotStarMatchesNamesWithoutAFullStop) {
    TempFolder temp;
    WriteFile(temp.Path() / "README", "x");
    WriteFile(temp.Path() / "255.rar", "x");
    std::vector<std::string> list;
    CollectFiles(list, temp.Str(), "*.*");
    EXPECT_EQ(list, Under(temp, {"255.rar", "README"}));
}

TEST(CollectFiles, TwoFoldersOnOneListAreSortedTogether) {
    TempFolder temp;
    WriteFile(temp.Path() / "b" / "1.sql", "x");
    WriteFile(temp.Path() / "b" / "3.sql", "x");
    WriteFile(temp.Path() / "a" / "2.SQL", "x");
    std::vector<std::string> list;
    CollectFiles(list, temp / "b", "*.sql");
    CollectFiles(list, temp / "a", "*.sql");
    EXPECT_EQ(list, Under(temp, {"a/2.SQL", "b/1.sql", "b/3.sql"}));
}

TEST(CollectFiles, AMissingFolderAddsNothingButStillSorts) {
    TempFolder temp;
    std::vector<std::string> list = {"z", "A", "b"};
    CollectFiles(list, temp / "missing", "*.*");
    EXPECT_EQ(list, (std::vector<std::string>{"A", "b", "z"}));
}

} // namespace
} // namespace norvane::platform
