#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace norvane::db {

class Database;
class Transaction;

/// Whether the database has a table of that name (as stored: upper case when unquoted).
bool TableExists(Transaction& transaction, std::string_view name);

/// Makes a table of the installer's own on first use, in a transaction of its own, after the
/// ids an interrupted CREATE TABLE left are skipped. Two installers making it at the same
/// moment both end with it. Any other failure raises the client's error.
void CreateTableOnFirstUse(Database& database, std::string_view name, std::string_view columns);

/// Adds a column to a table of the installer's own that an earlier version made without it.
void AddColumnOnFirstUse(Database& database, std::string_view table, std::string_view column,
                         std::string_view definition);

/// Runs work in a transaction of its own and commits it, unless done says it is done
/// already. Two installers doing the same work at the same moment collide: the loser's error
/// is let go when done then holds, since the winner's work serves both, and raised otherwise.
void DoOnce(Database& database, const std::function<bool(Transaction&)>& done,
            const std::function<void(Transaction&)>& work);

/// Runs work in a transaction of its own and commits it; rolled back when work raises.
void RunInOwnTransaction(Database& database, const std::function<void(Transaction&)>& work);

/// Runs one statement without parameters in transaction, its rows (if any) left unread.
void RunStatement(Transaction& transaction, const std::string& sql);

} // namespace norvane::db
