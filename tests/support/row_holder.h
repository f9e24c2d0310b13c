#pragma once

#include "db/database.h"
#include "db/transaction.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace norvane::testing {

/// Another connection's transaction that has updated rows and holds them until it ends, as a
/// user's uncommitted edit does. At its deadline it rolls back by itself, so that code that
/// would wait for the rows for ever still ends, and the test can tell.
class RowHolder {
public:
    /// Attaches to databaseName (a path, or server ":" path) and runs update uncommitted.
    RowHolder(const std::string& databaseName, std::string_view update,
              std::chrono::seconds deadline = std::chrono::seconds(60));
    /// Rolls back when still holding.
    ~RowHolder();
    RowHolder(const RowHolder&) = delete;
    RowHolder& operator=(const RowHolder&) = delete;

    void Commit();
    void Rollback();
    /// Whether the deadline ended the transaction rather than the test.
    bool EndedAtDeadline() const;

private:
    void End(bool commit, bool atDeadline);

    db::Database m_database;
    db::Transaction m_transaction;
    mutable std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_holding = true;
    bool m_endedAtDeadline = false;
    std::thread m_deadline;
};

} // namespace norvane::testing
