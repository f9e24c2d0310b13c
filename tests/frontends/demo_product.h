#pragma once

#include "support/temp_folder.h"
#include "support/test_database.h"

#include <string>

namespace norvane::testing {

/// The product as the demo has it: a program folder with nrv.ini and a Report folder, and a
/// database made from examples/demo-database.sql (release 254).
class DemoProduct {
public:
    DemoProduct();

    /// Adds a newest versions row, so the database reads as that version.
    void SetVersion(int version);
    /// Points nrv.ini at another database path, on a server when one is named.
    void WriteIni(const std::string& databasePath, const std::string& server = {});

    /// The data of the newest versions row, as isql prints it.
    std::string DatabaseVersion();

    /// The path the installer runs from, inside the program folder.
    std::string InstallerPath() const { return Program / "norvane-update"; }
    std::string WorkFolder() const { return Temp / "nrv7.nvx"; }

    TempFolder Program;
    TempFolder Temp;
    TestDatabase Database;
};

/// A file of examples/package-255.
std::string ExampleFile(const std::string& relativePath);

} // namespace norvane::testing
