#pragma once

#include "db/transaction.h"

#include <memory>

namespace norvane::db {

class Database;

/// A lock in the product database for one installer run, so that a second installer on the
/// same database (embedded or through a server, from any machine) refuses instead of running
/// the same package again. It is a row of a table of the installer's own, updated in a
/// transaction of its own that never waits; it ends with that transaction, which the engine
/// rolls back also when the holding process is killed.
class DatabaseRunLock {
public:
    enum class Result { Acquired, HeldByAnother };

    explicit DatabaseRunLock(Database& database);
    /// Gives the lock back.
    ~DatabaseRunLock();
    DatabaseRunLock(const DatabaseRunLock&) = delete;
    DatabaseRunLock& operator=(const DatabaseRunLock&) = delete;

    /// Makes the lock's table on first use and takes the lock without waiting. Raises the
    /// client's error when the database cannot be written (read-only, gone).
    Result Acquire();

private:
    void EnsureLockRow();

    Database& m_database;
    Transaction m_hold;
};

} // namespace norvane::db
