#include "demo_product.h"

#include <filesystem>

namespace norvane::testing {

DemoProduct::DemoProduct() {
    std::filesystem::create_directory(Program.Path() / "Report");
    Database.Execute(ReadFile(std::filesystem::path(NORVANE_EXAMPLES_DIR) / "demo-database.sql"));
    WriteIni(Database.Path());
}

void DemoProduct::SetVersion(int version) {
    Database.Execute("insert into versions (update_date, data) values ('2025-06-01 12:00:00', " +
                     std::to_string(version) + ");");
}

void DemoProduct::WriteIni(const std::string& databasePath, const std::string& server) {
    const std::string where =
        server.empty() ? "TypeServer=0\r\n" : "TypeServer=1\r\nNameServer=" + server + "\r\n";
    WriteFile(Program.Path() / "nrv.ini",
              "[Common]\r\nPathBaseIB=" + databasePath + "\r\n" + where);
}

std::string DemoProduct::DatabaseVersion() {
    return Database.QueryString("select first 1 data from versions order by update_date desc")
        .value_or("NULL");
}

std::string ExampleFile(const std::string& relativePath) {
    return ReadFile(std::filesystem::path(NORVANE_EXAMPLES_DIR) / "package-255" / relativePath);
}

} // namespace norvane::testing
