#pragma once

#include <memory>

namespace norvane::db {

class Database;

/// A transaction on one database with the server's default parameters.
class Transaction {
public:
    explicit Transaction(Database& database);
    /// Rolls back when still active; never throws.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    Database& GetDatabase() const;
    bool Active() const;
    /// Starts the transaction (isc_start_multiple, empty parameter block). Raises when the
    /// database is not connected or the transaction is already active.
    void StartTransaction();
    void Commit();
    void Rollback();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    friend class Database;
    friend class Statement;
};

} // namespace norvane::db
