#pragma once

#include <chrono>
#include <memory>

namespace norvane::db {

class Database;

/// How a transaction waits for rows other transactions hold.
enum class TransactionMode {
    /// The server's defaults (an empty parameter block): snapshot, waiting on conflicts.
    ServerDefaults,
    /// Read committed, never waiting: a row another transaction holds fails at once.
    ReadCommittedNoWait,
    /// Read committed, waiting for a row another transaction holds: each statement sees
    /// what others committed before it, as one in a transaction of its own would.
    ReadCommittedWait,
};

/// A transaction on one database.
class Transaction {
public:
    explicit Transaction(Database& database,
                         TransactionMode mode = TransactionMode::ServerDefaults);
    /// Rolls back when still active; never throws.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    Database& GetDatabase() const;
    /// The mode the next StartTransaction starts in.
    void SetMode(TransactionMode mode);
    /// How long a statement of a waiting transaction (ReadCommittedWait) waits for a row
    /// another transaction holds before it fails with a lock conflict; zero waits for as long
    /// as the row is held. Taken by the next StartTransaction.
    void SetLockTimeout(std::chrono::seconds timeout);
    bool Active() const;
    /// Whether the active transaction was started with the mode and lock timeout set now:
    /// SetMode and SetLockTimeout change only the next start.
    bool StartedInCurrentMode() const;
    /// Starts the transaction (isc_start_multiple with the mode's parameter block). Starting
    /// it on a database that is not connected, or when it is already active, is EMisuse; so
    /// is ending one that is not active.
    void StartTransaction();
    void Commit();
    void Rollback();
    /// Gives the transaction up after its connection failed: rolled back when the client
    /// still can, the handle released either way. Never throws.
    void Abandon() noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    friend class Database;
    friend class Statement;
};

} // namespace norvane::db
