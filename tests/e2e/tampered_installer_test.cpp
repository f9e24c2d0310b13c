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

// A product folder at a database version, and in it the real installer with one byte of its
// package `changed` flipped.
struct TamperedProduct {
    TempFolder program;
    TempFolder temp;
    TestDatabase database;
    std::string installer;

    TamperedProduct(int version, const std::string& changed) {
        database.Execute(ProductDatabaseScript(version));
        fs::create_directory(program.Path() / "Report");
        WriteFile(program.Path() / "nrv.ini",
                  "[Common]\r\nPathBaseIB=" + database.Path() + "\r\nTypeServer=0\r\n");
        std::string bytes = ReadFile(NORVANE_INSTALLER);
        const std::string package = ReadFile(changed);
        const std::size_t at = bytes.find(package);
        EXPECT_NE(at, std::string::npos) << "the package is not in the executable as it is";
        if (at != std::string::npos)
            bytes[at + package.size() / 2] ^= 0x20;
        installer = program / "norvane-update";
        WriteFile(installer, bytes);
        fs::permissions(installer, fs::perms::owner_all);
    }

    std::string Version() {
        return database.QueryString("select first 1 data from versions order by update_date desc")
            .value_or("");
    }
};

TEST(TamperedInstaller, APackageChangedInsideTheExecutableIsRefused) {
    TamperedProduct product(254, NORVANE_PACKAGE_255);
    ChildProcess run({product.installer, "--unattended"},
                     {"TMPDIR=" + product.temp.Str(), "DISPLAY="});
    EXPECT_EQ(run.Wait(), 2) << run.Out() << run.Err();
    EXPECT_NE(run.Err().find("error: пакет 255 пошкоджено: контрольна сума SHA-256 не збігається"),
              std::string::npos)
        << run.Err();
    EXPECT_EQ(product.Version(), "254");
    EXPECT_FALSE(fs::exists(product.program.Path() / "Norvanework.exe"));
}

// At the newest version, program files that differ from a damaged newest package are left as
// they are: the package cannot put anything in place.
TEST(TamperedInstaller, AtTheNewestVersionADamagedPackageCopiesNoProgramFile) {
    TamperedProduct product(256, NORVANE_PACKAGE_256);
    WriteFile(product.program.Path() / "Norvanework.exe", "Program 255\r\n");
    ChildProcess run({product.installer, "--unattended"},
                     {"TMPDIR=" + product.temp.Str(), "DISPLAY="});
    EXPECT_EQ(run.Wait(), 10) << run.Out() << run.Err();
    EXPECT_EQ(ReadFile(product.program.Path() / "Norvanework.exe"), "Program 255\r\n");
    EXPECT_EQ(product.Version(), "256");
}

} // namespace
} // namespace norvane::testing
