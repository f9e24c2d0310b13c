// norvane-package-check, as a build runs it on each package an installer is to carry.
#include "base/sha256.h"
#include "support/child_process.h"
#include "support/package_builder.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace norvane::testing {
namespace {

namespace fs = std::filesystem;

const std::string VersionRow =
    "INSERT INTO versions (update_date, data) VALUES ('2021-01-01', 255);\r\n";

// A package 255 that passes: two scripts, the last bringing its version, and a blob file.
std::vector<PackageFile> GoodPackage() {
    return {{"Norvanework.exe", "program 255\r\n"},
            {"Report/a.fr3", "template\r\n"},
            // A name no C locale holds, as templates of the product have.
            {"Report/Звіт 1.fr3", "template\r\n"},
            {"up/255.01.sql", "CREATE TABLE T (ID INTEGER);\r\n"
                              "SET TERM ^ ;\r\n"
                              "CREATE PROCEDURE P AS BEGIN END^\r\n"
                              "SET TERM ; ^\r\n"},
            {"up/255.99.sql", "/* Release 255 */\r\n" + VersionRow + "COMMIT WORK;\r\n"},
            {"up/T.B.ID 1.blo", "bytes"}};
}

struct Checked {
    int status = -1;
    std::string output;
    std::string digestFile;
};

Checked Check(const std::vector<PackageFile>& files, const TempFolder& folder,
              const std::vector<std::string>& options = {}) {
    const fs::path archive = folder / "255.rar";
    MakeRarArchiveOf(archive, files);
    Checked checked;
    checked.digestFile = folder / "255.sha256";
    std::vector<std::string> argv{PACKAGE_CHECK_PATH};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"255", archive.string(), checked.digestFile});
    const CommandResult result = RunCommand(argv);
    checked.status = result.status;
    checked.output = result.output;
    return checked;
}

TEST(PackageCheck, RecordsTheDigestOfAPackageThatPasses) {
    TempFolder folder;
    const Checked checked = Check(GoodPackage(), folder);
    ASSERT_EQ(checked.status, 0) << checked.output;
    EXPECT_EQ(ReadFile(checked.digestFile), Sha256Hex(ReadFile(folder / "255.rar")));
}

// A package made unfit by one change, and the line the check says it with.
struct Unfit {
    const char* name;
    std::function<void(std::vector<PackageFile>&)> change;
    const char* said;
};

void PrintTo(const Unfit& unfit, std::ostream* out) {
    *out << unfit.name;
}

PackageFile& FileOf(std::vector<PackageFile>& files, std::string_view path) {
    for (PackageFile& file : files) {
        if (file.path == path)
            return file;
    }
    throw std::runtime_error("no " + std::string(path));
}

// However the author wrote the statement that brings the version, it is found.
TEST(PackageCheck, FindsTheVersionRowHoweverItIsWritten) {
    for (const std::string statement :
         {"/* Release 255 */ insert into VERSIONS(data, update_date) values (255, 'now');",
          "-- Release 255\r\n/* the version */\r\nINSERT   INTO \"VERSIONS\"\r\n  (data)\r\n"
          "VALUES (255);",
          "INSERT INTO versions (update_date, data)\tVALUES ('2021-01-01',255);"}) {
        TempFolder folder;
        std::vector<PackageFile> files = GoodPackage();
        FileOf(files, "up/255.99.sql").bytes = statement + "\r\nCOMMIT WORK;\r\n";
        const Checked checked = Check(files, folder);
        EXPECT_EQ(checked.status, 0) << statement << "\n" << checked.output;
    }
}

class UnfitPackageTest : public ::testing::TestWithParam<Unfit> {};

TEST_P(UnfitPackageTest, IsRefusedNamingFileAndLine) {
    TempFolder folder;
    std::vector<PackageFile> files = GoodPackage();
    GetParam().change(files);
    const Checked checked = Check(files, folder);
    EXPECT_EQ(checked.status, 1) << checked.output;
    EXPECT_NE(checked.output.find(std::string("255.rar: package 255: ") + GetParam().said),
              std::string::npos)
        << checked.output;
    EXPECT_FALSE(fs::exists(checked.digestFile));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, UnfitPackageTest,
    ::testing::Values(
        Unfit{"ANulByte",
              [](auto& files) {
                  FileOf(files, "up/255.01.sql").bytes += std::string("\r\nSELECT 1\0", 11);
              },
              "up/255.01.sql:6: a NUL byte"},
        Unfit{"AnUnterminatedLastStatement",
              [](auto& files) {
                  FileOf(files, "up/255.01.sql").bytes +=
                      "INSERT INTO T VALUES (1);\r\nINSERT INTO T\r\nVALUES (2)\r\n";
              },
              "up/255.01.sql:6: the last statement has no terminator (\";\")"},
        Unfit{"AnUnterminatedBlockInsideSetTerm",
              [](auto& files) {
                  FileOf(files, "up/255.01.sql").bytes = "SET TERM ^ ;\r\nCREATE PROCEDURE P "
                                                         "AS BEGIN END;\r\n";
              },
              "up/255.01.sql:2: the last statement has no terminator (\"^\")"},
        Unfit{"ARefusedBlobFileName",
              [](auto& files) {
                  files.push_back({"up/T.B.ID 1)or(1=1.blo", "x"});
              },
              "up/T.B.ID 1)or(1=1.blo: Blob file name refused"},
        Unfit{"ALastScriptWithoutTheVersion",
              [](auto& files) { FileOf(files, "up/255.99.sql").bytes = "COMMIT WORK;\r\n"; },
              "up/255.99.sql: the last script does not insert 255 into versions"},
        Unfit{"TheVersionOfAnotherPackage",
              [](auto& files) {
                  FileOf(files, "up/255.99.sql").bytes =
                      "INSERT INTO versions (update_date, data) VALUES ('2021-01-01', 2550);\r\n";
              },
              "up/255.99.sql: the last script does not insert 255 into versions"},
        Unfit{"TheVersionOnlyInsideAComment",
              [](auto& files) {
                  FileOf(files, "up/255.99.sql").bytes =
                      "/* " + VersionRow + " */\r\nCOMMIT WORK;\r\n-- " + VersionRow;
              },
              "up/255.99.sql: the last script does not insert 255 into versions"},
        Unfit{"NoScriptAtAll",
              [](auto& files) {
                  std::erase_if(files,
                                [](const PackageFile& f) { return f.path.ends_with(".sql"); });
              },
              "up: no script"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PackageCheck, RefusesADamagedArchive) {
    TempFolder folder;
    MakeRarArchiveOf(folder / "whole.rar", GoodPackage());
    std::string bytes = ReadFile(folder / "whole.rar");
    bytes.resize(bytes.size() - 7); // the end block
    WriteFile(folder / "255.rar", bytes);
    const CommandResult result =
        RunCommand({PACKAGE_CHECK_PATH, "255", folder / "255.rar", folder / "255.sha256"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("архів обрізано: немає блоку кінця архіву"), std::string::npos)
        << result.output;
    EXPECT_FALSE(fs::exists(folder / "255.sha256"));

    // A test that carries a broken package on purpose records its digest only.
    const CommandResult digestOnly = RunCommand(
        {PACKAGE_CHECK_PATH, "--digest-only", "255", folder / "255.rar", folder / "255.sha256"});
    EXPECT_EQ(digestOnly.status, 0) << digestOnly.output;
    EXPECT_EQ(ReadFile(folder / "255.sha256"), Sha256Hex(bytes));
}

} // namespace
} // namespace norvane::testing
