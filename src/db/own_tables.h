#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::db {

class Database;
class EFirebirdError;
class Transaction;

/// A column of a table of the installer's own, and what it holds, for the database's
/// description of it.
struct OwnColumn {
    std::string_view name;
    std::string_view definition;
    std::string_view comment;
};

/// A table the installer keeps in the product database, as it makes it.
struct OwnTable {
    std::string_view name;
    std::vector<OwnColumn> columns;
    std::string_view comment;
};

/// Whether the database has a table of that name (as stored: upper case when unquoted).
bool TableExists(Transaction& transaction, std::string_view name);

/// Whether the tables are there with all their columns.
bool OwnTablesComplete(Database& database, std::span<const OwnTable> tables);

/// Makes what is missing of the installer's own tables, all in one transaction: a table that
/// is not there, a column an earlier version made its table without, each described in the
/// database (COMMENT ON); the ids an interrupted CREATE TABLE left are skipped first. Nothing
/// when all is there. A table or column another connection makes meanwhile (the engine says
/// it already exists) is taken as made; any other failure raises the client's error.
void EnsureOwnTables(Database& database, std::span<const OwnTable> tables);

/// The right the failure says the connection's user lacks, as a GRANT names it ("CREATE
/// TABLE", "ALTER ANY TABLE", "INSERT ON NORVANE$UPDATE_LOCK", "UPDATE (ID) ON
/// NORVANE$UPDATE_LOCK"), or nothing.
std::optional<std::string> MissingRight(const EFirebirdError& error);

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
