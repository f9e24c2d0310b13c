// The real installer with one byte of a package it carries changed inside the executable, as
// a failing disk or a damaged download leaves it: the package never reaches the database.
#include "support/child_process.h"
#include "support/temp_folder.h"
#include "support/test_database.h"
#include "support/two_packages.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace norvane::testing {
namespace {

namespace fs = std::filesystem;

TEST(TamperedInstaller, APackageChangedInsideTheExecutableIsRefused) {
    TempFolder program;
    TempFolder temp;
    TestDatabase database;
    database.Execute(ProductDatabaseScript(254));
    fs::create_directory(program.Path() / "Report");
    WriteFile(program.Path() / "nrv.ini",
              "[Common]\r\nPathBaseIB=" + database.Path() + "\r\nTypeServer=0\r\n");

    std::string installer = ReadFile(NORVANE_INSTALLER);
    const std::string package = ReadFile(NORVANE_PACKAGE_255);
    const std::size_t at = installer.find(package);
    ASSERT_NE(at, std::string::npos) << "the package is not in the executable as it is";
    installer[at + package.size() / 2] ^= 0x20;
    const std::string path = program / "norvane-update";
    WriteFile(path, installer);
    fs::permissions(path, fs::perms::owner_all);

    ChildProcess run({path, "--unattended"}, {"TMPDIR=" + temp.Str(), "DISPLAY="});
    EXPECT_EQ(run.Wait(), 2) << run.Out() << run.Err();
    EXPECT_NE(run.Err().find("error: пакет 255 пошкоджено: контрольна сума SHA-256 не збігається"),
              std::string::npos)
        << run.Err();
    EXPECT_EQ(database.QueryString("select first 1 data from versions order by update_date desc"),
              "254");
    EXPECT_FALSE(fs::exists(program.Path() / "Norvanework.exe"));
}

} // namespace
} // namespace norvane::testing
