// Runs in an executable built like an installer: norvane_embed_packages with 254.rar and
// 255.rar, plus TFORM1, the integer identifier 7, 0253_RAR and X_RAR_Y (see CMakeLists.txt).
#include "package/packages.h"

#include "base/exceptions.h"
#include "platform/raw_items.h"
#include "support/expect_throw.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace norvane::package {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

std::string ItemText(const platform::RawItemName& name) {
    return name.id ? "#" + std::to_string(*name.id) : name.text;
}

// Whether an address lies in a mapping of this process that cannot be written.
bool InReadOnlyMemory(const void* address) {
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, permissions;
        fields >> range >> permissions;
        const auto dash = range.find('-');
        const auto low = std::stoull(range.substr(0, dash), nullptr, 16);
        const auto high = std::stoull(range.substr(dash + 1), nullptr, 16);
        if (at >= low && at < high)
            return permissions.size() >= 2 && permissions[1] == '-';
    }
    return false;
}

TEST(EmbeddedPackages, ItemsAreListedInTheOrderTheyWereGiven) {
    std::vector<std::string> names;
    for (const auto& name : platform::EnumerateRawItems())
        names.push_back(ItemText(name));
    EXPECT_EQ(names, (std::vector<std::string>{"254_RAR", "254_SHA256", "255_RAR", "255_SHA256",
                                               "TFORM1", "#7", "0253_RAR", "X_RAR_Y", "300_RAR",
                                               "301_RAR", "301_SHA256"}));
}

TEST(EmbeddedPackages, OnlyPackageNamesAreCollected) {
    std::vector<std::string> packageList = {"left by the caller"};
    CollectPackageNames(packageList);
    EXPECT_EQ(packageList, (std::vector<std::string>{"left by the caller", "254_RAR", "255_RAR",
                                                     "0253_RAR", "X_RAR_Y", "300_RAR", "301_RAR"}));
    EXPECT_EQ(PackageNumberOf("0253_RAR"), 253);
    EXPECT_THROW_MSG(PackageNumberOf("X_RAR_Y"), EConvertError, "'X' is not a valid integer value");
}

TEST(EmbeddedPackages, ItemBytesAreTheArchiveInReadOnlyMemory) {
    const std::string archive = ReadFile(PACKAGE_255);
    ASSERT_GT(archive.size(), 1000u);
    const auto item = platform::FindRawItem("255_RAR");
    ASSERT_TRUE(item.has_value());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(item->data()), item->size()), archive);
    EXPECT_TRUE(InReadOnlyMemory(item->data()));
    EXPECT_TRUE(InReadOnlyMemory(item->data() + item->size() - 1));
    // Names are found as Windows finds resource names, whatever their case.
    const auto lower = platform::FindRawItem("255_rar");
    ASSERT_TRUE(lower.has_value());
    EXPECT_EQ(lower->data(), item->data());
    EXPECT_EQ(ReadFile(TFORM1_FILE),
              std::string(reinterpret_cast<const char*>(platform::FindRawItem("TFORM1")->data()),
                          platform::FindRawItem("TFORM1")->size()));
}

TEST(EmbeddedPackages, SavePackageWritesEachArchiveByteForByte) {
    TempFolder work;
    for (const auto& [number, source] : {std::pair{254, PACKAGE_254}, {255, PACKAGE_255}}) {
        const std::string archive = work / PackageArchiveName(number);
        SavePackage(PackageResourceName(number), archive);
        EXPECT_EQ(ReadFile(archive), ReadFile(source)) << number;
    }
}

TEST(EmbeddedPackages, ASavedPackageUnpacksWithTheExtractor) {
    TempFolder work;
    SavePackage("255_RAR", work / "255.rar");
    const std::string command =
        "cd '" + work.Str() + "' && unrar x -o+ '" + (work / "255.rar") + "' > /dev/null 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFile(work.Path() / "Norvanework.exe"), "program 255\n");
    EXPECT_EQ(ReadFile(work.Path() / "up" / "255.99.sql"),
              "INSERT INTO versions (data) VALUES (255);\r\n");
    EXPECT_EQ(ReadFile(work.Path() / "Report" / "Rep 1.fr3").size(), 15u * 5000);
}

TEST(EmbeddedPackages, AShorterPackageSavedOverALongerFileLeavesNoTail) {
    TempFolder work;
    const std::string archive = work / "254.rar";
    SavePackage("255_RAR", archive);
    ASSERT_GT(ReadFile(archive).size(), ReadFile(PACKAGE_254).size());
    SavePackage("254_RAR", archive);
    EXPECT_EQ(ReadFile(archive), ReadFile(PACKAGE_254));
}

TEST(EmbeddedPackages, MissingNamesRaiseResourceNotFoundAndWriteNothing) {
    TempFolder work;
    // A leading zero makes a number whose own name is not carried.
    for (const std::string& name :
         {PackageResourceName(253), std::string("256_RAR"), std::string("7")}) {
        SCOPED_TRACE(name);
        const std::string archive = work / "x.rar";
        EXPECT_THROW_MSG(SavePackage(name, archive), EResNotFound,
                         "Resource " + name + " not found");
        EXPECT_FALSE(fs::exists(archive));
    }
}

TEST(EmbeddedPackages, AFileThatCannotBeCreatedRaisesCreateError) {
    TempFolder work;
    const std::string archive = work / "missing/255.rar";
    EXPECT_THROW_MSG(SavePackage("255_RAR", archive), EFCreateError,
                     "Cannot create file \"" + archive + "\". No such file or directory");
    // Something in the package's place that is neither a file nor a link is never written.
    EXPECT_THROW_CONTAINING(SavePackage("255_RAR", "/dev/full"), EFCreateError, "File exists");
}

// A package is taken only with the digest recorded beside it when the installer was built.
TEST(EmbeddedPackages, APackageIsCheckedAgainstItsRecordedDigest) {
    const CheckedPackage package = CheckPackage(255);
    EXPECT_EQ(package.bytes.size(), ReadFile(PACKAGE_255).size());
    ASSERT_FALSE(package.members.empty());
    EXPECT_EQ(package.RoomNeeded(), package.bytes.size() + UnpackedSize(package.members));
    // 300 carries no digest, 301 the digest of other bytes.
    EXPECT_THROW_MSG(CheckPackage(300), EDamagedArchive,
                     "немає контрольної суми, записаної під час збирання програми");
    EXPECT_THROW_MSG(CheckPackage(301), EDamagedArchive,
                     "контрольна сума SHA-256 не збігається з записаною під час збирання програми");
    EXPECT_THROW_MSG(CheckPackage(253), EResNotFound, "Resource 253_RAR not found");
}

} // namespace
} // namespace norvane::package
