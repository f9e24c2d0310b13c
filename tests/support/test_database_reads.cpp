// The attachment and the reads both systems' test databases make alike: typed values through the
// program's own client layer (isql-fb prints no blob's bytes, and the Windows build has no
// isql-fb), counts from the text of the first value.

#include "support/test_database.h"
#include "support/test_server.h"

#include <cstdlib>
#include <stdexcept>

namespace norvane::testing {

std::optional<std::string> TestServer() {
    const char* server = std::getenv("NORVANE_TEST_SERVER");
    if (!server || !*server)
        return std::nullopt;
    return std::string(server);
}

std::string ServerForTest() {
    if (const auto server = TestServer())
        return *server;
    const char* required = std::getenv("NORVANE_REQUIRE_SERVER");
    if (required != nullptr && *required != '\0' && std::string(required) != "0")
        ADD_FAILURE() << "NORVANE_REQUIRE_SERVER is set, but NORVANE_TEST_SERVER names no server";
    return {};
}

TestDatabase::Session::Session(const TestDatabase& file) : database(""), transaction(database) {
    database.SetDatabaseName(file.m_path);
    database.SetParams({"SYSDBA", "unused"});
    database.Open();
    database.SetDefaultTransaction(&transaction);
}

db::FieldValue TestDatabase::FirstValue(std::string_view select) {
    Session session(*this);
    session.transaction.StartTransaction();
    db::Statement statement(session.database, db::Parameters::Raw);
    statement.SetSql(std::string(select));
    statement.Execute();
    if (!statement.Fetch())
        throw std::runtime_error("no row from: " + std::string(select));
    db::FieldValue value = statement.Field(0);
    statement.Close();
    return value;
}

std::int64_t TestDatabase::QueryCount(std::string_view select) {
    const auto text = QueryString(select);
    if (!text)
        throw std::runtime_error("no value from: " + std::string(select));
    return std::stoll(*text);
}

std::string TestDatabase::QueryBlob(std::string_view select) {
    const db::FieldValue value = FirstValue(select);
    if (const auto* blob = std::get_if<db::BlobBytes>(&value))
        return blob->bytes;
    if (std::holds_alternative<db::Null>(value))
        throw std::runtime_error("NULL from: " + std::string(select));
    throw std::runtime_error("not a blob column: " + std::string(select));
}

} // namespace norvane::testing
