#pragma once

#include "db/database.h"
#include "db/transaction.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace norvane::db {

/// The program's one connection to the product database: the attachment and the single
/// transaction every statement of the run executes in.
class CGlobDB {
public:
    /// Loads the client library (raising ELibraryError naming it when it cannot be loaded)
    /// and, when the trimmed path is not empty, connects with the default account.
    /// exeDir is the installer's folder, where the fallback database file lies.
    CGlobDB(std::string exeDir, std::string_view server, std::string_view path);

    /// Attaches (closing an earlier attachment first) and starts Transaction.
    void Connect(std::string_view server, std::string_view path, std::string_view user,
                 std::string_view password);

    db::Database& GetDatabase() { return *m_database; }
    db::Transaction& Transaction() { return *m_transaction; }

    /// The data column of the newest versions row; 0 for an empty table.
    std::int32_t GetVersion();
    /// GetVersion in a transaction of its own, so that what other connections committed is
    /// seen; Transaction is committed first and left inactive.
    std::int32_t CommittedVersion();

private:
    std::string m_exeDir;
    std::unique_ptr<db::Database> m_database;
    std::unique_ptr<db::Transaction> m_transaction;
};

} // namespace norvane::db
