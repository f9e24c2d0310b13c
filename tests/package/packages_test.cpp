#include "package/packages.h"

#include "base/exceptions.h"
#include "support/expect_throw.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <limits>

namespace norvane::package {
namespace {

TEST(CollectPackageName, TakesTextNamesHoldingRarAnywhere) {
    struct Case {
        platform::RawItemName name;
        bool collected;
    };
    const Case cases[] = {
        {{"255_RAR", std::nullopt}, true},
        {{"TFORM1", std::nullopt}, false},
        {{"TLOGINDIALOG", std::nullopt}, false},
        {{"X_RAR_Y", std::nullopt}, true},
        {{"0255_RAR", std::nullopt}, true},
        {{"255_rar", std::nullopt}, false},
        {{"RAR", std::nullopt}, false},
        {{"_RAR", std::nullopt}, true},
        {{"", 10}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.text);
        std::vector<std::string> list = {"kept"};
        CollectPackageName(c.name, list);
        std::vector<std::string> expected = {"kept"};
        if (c.collected)
            expected.push_back(c.name.text);
        EXPECT_EQ(list, expected);
    }
}

TEST(CollectPackageNames, AnExecutableWithoutPackagesAddsNothing) {
    std::vector<std::string> list;
    CollectPackageNames(list);
    EXPECT_TRUE(list.empty());
}

TEST(PackageNumberOf, ReadsTheTextBeforeTheFirstUnderscore) {
    struct Case {
        std::string_view name;
        std::optional<std::int32_t> number;
    };
    const Case cases[] = {
        {"255_RAR", 255},
        {"0255_RAR", 255},
        {"1_2_RAR", 1},
        {"-5_RAR", -5},
        {"2147483647_RAR", std::numeric_limits<std::int32_t>::max()},
        {"-2147483648_RAR", std::numeric_limits<std::int32_t>::min()},
        {"TFORM1", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PackageNumberOf(c.name), c.number) << c.name;
}

TEST(PackageNumberOf, RaisesConversionErrorForANonNumber) {
    struct Case {
        std::string_view name;
        std::string message;
    };
    const Case cases[] = {
        {"X_RAR_Y", "'X' is not a valid integer value"},
        {"_RAR", "'' is not a valid integer value"},
        {"2147483648_RAR", "'2147483648' is not a valid integer value"},
        {"25 5_RAR", "'25 5' is not a valid integer value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW_MSG(PackageNumberOf(c.name), EConvertError, c.message);
    }
}

TEST(PackageNames, NameAndArchiveOfANumber) {
    struct Case {
        std::int32_t number;
        const char* resource;
        const char* archive;
    };
    for (const Case& c :
         {Case{255, "255_RAR", "255.rar"}, Case{0, "0_RAR", "0.rar"}, Case{-7, "-7_RAR", "-7.rar"},
          Case{std::numeric_limits<std::int32_t>::max(), "2147483647_RAR", "2147483647.rar"},
          Case{std::numeric_limits<std::int32_t>::min(), "-2147483648_RAR", "-2147483648.rar"}}) {
        EXPECT_EQ(PackageResourceName(c.number), c.resource);
        EXPECT_EQ(PackageArchiveName(c.number), c.archive);
        // Every name formed from a number reads back to it.
        EXPECT_EQ(PackageNumberOf(c.resource), c.number);
    }
}

TEST(SavePackage, NothingCarriedMeansResourceNotFound) {
    testing::TempFolder work;
    EXPECT_THROW_MSG(SavePackage("255_RAR", work / "255.rar"), EResNotFound,
                     "Resource 255_RAR not found");
    EXPECT_FALSE(std::filesystem::exists(work.Path() / "255.rar"));
}

} // namespace
} // namespace norvane::package
