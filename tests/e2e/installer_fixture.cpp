#include "installer_fixture.h"

#include "support/two_packages.h"

#include <filesystem>

namespace norvane::testing {

InstallerTest::InstallerTest() {
    std::filesystem::create_directory(m_program.Path() / "Report");
}

void InstallerTest::StartAtVersion(int version) {
    m_database.Execute(ProductDatabaseScript(version));
    WriteFile(m_program.Path() / "nrv.ini",
              "[Common]\r\nPathBaseIB=" + m_database.Path() + "\r\nTypeServer=0\r\n");
    m_form = std::make_unique<app::TForm1>(
        m_window, m_values, app::StartupPaths{m_program / "norvane-update", m_temp.Str()});
    m_form->FormShow();
}

std::string InstallerTest::WorkFile(std::string_view name) const {
    return (std::filesystem::path(m_form->WorkDir) / name).string();
}

std::string InstallerTest::DatabaseVersion() {
    return m_database.QueryString("select first 1 data from versions order by update_date desc")
        .value_or("NULL");
}

} // namespace norvane::testing
