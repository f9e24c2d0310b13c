#pragma once

#include "db/database.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "support/temp_folder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvane::testing {

/// A fresh database file in a temporary folder, made through the embedded engine and removed
/// with its folder. Every process that touches it (this one, isql-fb, a test server) shares
/// the file: the engine is switched to SuperClassic for the test process and its children.
class TestDatabase {
public:
    explicit TestDatabase(int dialect = 3, std::string_view fileName = "test.fdb",
                          int pageSize = 8192);
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    const std::string& Path() const { return m_path; }
    /// The folder holding the file.
    std::string Folder() const { return m_folder.Str(); }
    int Dialect() const { return m_dialect; }

    /// Runs statements through isql-fb and commits; throws with isql's output on failure.
    void Execute(std::string_view isqlScript);
    /// What isql-fb prints for a script run without a commit; throws as Execute does.
    std::string Output(std::string_view isqlScript);
    /// The metadata as DDL, as isql-fb -x extracts it.
    std::string ExtractMetadata();
    /// The first column of the first row as isql prints it; nullopt for NULL or no row.
    std::optional<std::string> QueryString(std::string_view select);
    /// The bytes of a blob column of the first row, exactly; throws for NULL or no row.
    std::string QueryBlob(std::string_view select);
    /// The first column of the first row as an integer; throws for NULL or no row.
    std::int64_t QueryCount(std::string_view select);
    /// The first column of the first row as the program's client layer reads it; throws for
    /// no row.
    db::FieldValue FirstValue(std::string_view select);

private:
    // An attachment of this process to the file, the default transaction not yet started.
    struct Session {
        explicit Session(const TestDatabase& file);
        db::Database database;
        db::Transaction transaction;
    };

    std::string RunIsql(const std::string& script, bool connect, std::string_view options = "");

    TempFolder m_folder;
    int m_dialect;
    std::string m_path;
};

/// Points the Firebird client of this process (and its children) at a configuration whose
/// engine shares database files between processes. Idempotent; respects a set FIREBIRD.
void UseSharedFirebirdEngine();

/// The server the server-mode tests connect to (NORVANE_TEST_SERVER), or nullopt.
std::optional<std::string> TestServer();

} // namespace norvane::testing
