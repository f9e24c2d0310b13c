#include "installer_fixture.h"

#include "support/two_packages.h"

#include <filesystem>

namespace norvane::testing {

InstallerTest::InstallerTest(std::string_view databaseFile) : m_database(3, databaseFile) {
    std::filesystem::create_directory(m_program.Path() / "Report");
}

void InstallerTest::StartAtVersion(int version) {
    MakeDatabaseAt(version);
    Start();
}

void InstallerTest::MakeDatabaseAt(int version) {
    m_database.Execute(ProductDatabaseScript(version));
}

void InstallerTest::Start() {
    const std::string server =
        m_server.empty() ? "TypeServer=0\r\n" : "TypeServer=1\r\nNameServer=" + m_server + "\r\n";
    std::string update = m_oneByOne ? "OneTransactionPerStatement=1\r\n" : "";
    if (!m_backupFolder.empty())
        update += "BackupFolder=" + m_backupFolder + "\r\n";
    if (!update.empty())
        update = "[Update]\r\n" + update;
    WriteFile(m_program.Path() / "nrv.ini",
              "[Common]\r\nPathBaseIB=" + m_database.Path() + "\r\n" + server + update);
    m_form = std::make_unique<app::TForm1>(
        m_window, m_values, app::StartupPaths{m_program / "norvane-update", m_temp.Str()});
    m_form->FormShow();
}

void InstallerTest::StartAgain() {
    m_form.reset();
    m_values = app::ProcessValues{};
    m_window = RecordingWindow{};
    Start();
}

std::string InstallerTest::WorkFile(std::string_view name) const {
    return (std::filesystem::path(m_form->WorkDir) / name).string();
}

std::string InstallerTest::DatabaseVersion() {
    return m_database.QueryString("select first 1 data from versions order by update_date desc")
        .value_or("NULL");
}

} // namespace norvane::testing
