#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace norvane::db {

class Database;
class Transaction;

/// Whether the database has a table of that name (as stored: upper case when unquoted).
bool TableExists(Transaction& transaction, std::string_view name);

/// Makes a table of the installer's own on first use, in a transaction of its own. Two
/// installers making it at the same moment both end with it. Raises the client's error when
/// the database cannot be written.
void CreateTableOnFirstUse(Database& database, std::string_view name, std::string_view columns);

/// Runs work in a transaction of its own and commits it. Two installers doing the same work
/// at the same moment collide; the loser's error is let go, since the winner's work serves
/// both. An error after which the database cannot be used is raised.
void RunAlongsideOthers(Database& database, const std::function<void(Transaction&)>& work);

/// Runs one statement without parameters in transaction, its rows (if any) left unread.
void RunStatement(Transaction& transaction, const std::string& sql);

} // namespace norvane::db
