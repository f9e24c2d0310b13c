#pragma once

#include "app/form1.h"
#include "support/recording_window.h"
#include "support/temp_folder.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace norvane::testing {

/// A product folder with nrv.ini, a database at a chosen version, and the installer's logic
/// run from that folder with the packages this test executable carries.
class InstallerTest : public ::testing::Test {
public:
    explicit InstallerTest(std::string_view databaseFile = "test.fdb");

    /// Makes the product database at version and starts the installer: construction, then
    /// the checks.
    void StartAtVersion(int version);
    /// The two halves of StartAtVersion, for a test that changes something between them.
    void MakeDatabaseAt(int version);
    void Start();
    /// The installer started anew in the same product folder, as the next run would be.
    void StartAgain();
    /// nrv.ini names the database on this server (TypeServer 1).
    void UseServer(const std::string& server) { m_server = server; }
    /// nrv.ini asks for a transaction of its own for every statement.
    void UseOneTransactionPerStatement() { m_oneByOne = true; }
    /// nrv.ini asks for a backup in folder before the update.
    void UseBackupFolder(const std::string& folder) { m_backupFolder = folder; }

    /// The installer folder's path of a file.
    std::string ProgramFile(std::string_view name) const { return m_program / name; }
    std::string WorkFile(std::string_view name) const;
    std::string DatabaseVersion();

    TempFolder m_program;
    TempFolder m_temp;
    TestDatabase m_database;
    RecordingWindow m_window;
    app::ProcessValues m_values;
    std::unique_ptr<app::TForm1> m_form;

private:
    std::string m_server;
    bool m_oneByOne = false;
    std::string m_backupFolder;
};

} // namespace norvane::testing
