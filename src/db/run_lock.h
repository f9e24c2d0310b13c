#pragma once

#include "db/own_tables.h"
#include "db/transaction.h"

#include <cstdint>
#include <optional>
#include <string>

namespace norvane::db {

class Database;

/// The installer a database lock names: the one that holds it, or held it last.
struct LockHolder {
    std::string host;
    std::int64_t processId = 0;
    std::string user;
    /// When it took the lock, as the server's clock read then ("2026-12-09 00:58:33").
    std::string takenAt;
};

/// A lock in the product database for one installer run, so that a second installer on the
/// same database (embedded or through a server, from any machine) refuses instead of running
/// the same package again. It is the one row of the table NORVANE$UPDATE_LOCK, held by an
/// update in a transaction of its own that never waits and never commits; it ends with that
/// transaction, which the engine rolls back also when the holding process is killed.
///
/// Before it takes the row, an installer writes who it is into it (host, process, user,
/// time, connection) and commits that, so that a refused installer, and an administrator, can
/// read who holds the lock. The row is then taken only if it still names this connection: of
/// two installers writing at the same moment, the last one written holds it.
class DatabaseRunLock {
public:
    enum class Result { Acquired, HeldByAnother };

    /// The table, as EnsureOwnTables makes it.
    static const OwnTable& Table();

    explicit DatabaseRunLock(Database& database);
    /// Gives the lock back.
    ~DatabaseRunLock();
    DatabaseRunLock(const DatabaseRunLock&) = delete;
    DatabaseRunLock& operator=(const DatabaseRunLock&) = delete;

    /// Takes the lock without waiting, adding the row on first use; the table must be there.
    /// Raises the client's error when the database cannot be written (read-only, gone, a right
    /// the user lacks).
    Result Acquire();
    bool Held() const { return m_hold.Active(); }

    /// Who the row names: the holder, after Acquire said another holds it. Nothing when the
    /// row names no one or cannot be read.
    std::optional<LockHolder> Holder();

private:
    void EnsureLockRow();
    bool WriteWhoHolds();

    Database& m_database;
    Transaction m_hold;
};

} // namespace norvane::db
