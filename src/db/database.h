#pragma once

#include "db/firebird_error.h"

#include <memory>
#include <string>

namespace norvane::db {

class Client;
class Transaction;

/// The account an attachment is made with, and how the engine writes its pages.
struct ConnectionParams {
    std::string UserName;
    std::string Password;
    /// For an engine in this process: every page goes to the disk in one direct write,
    /// bypassing the system's file cache. A cached write that a kill of the process cuts off
    /// stops at a memory page (4 KiB), leaving a database page (8 KiB) half old, half new,
    /// which the engine cannot tell; a direct write is not cut part-way.
    bool DirectPageWrites = false;
    bool operator==(const ConnectionParams&) const = default;
};

/// One attachment to a database: its name, account, SQL dialect and default transaction.
class Database {
public:
    /// Loads the client library; ELibraryError names it when it cannot be loaded.
    explicit Database(const std::string& exeDir);
    /// Detaches, rolling back an active default transaction; never throws.
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    /// The text given to the client to attach: a path, or server ":" path.
    void SetDatabaseName(std::string name);
    const std::string& DatabaseName() const;

    /// The account to attach with; each of its values at most 255 bytes.
    void SetParams(ConnectionParams params);
    const ConnectionParams& Params() const;

    /// The dialect statements run in: 3, or the database's own when it is lower (a dialect 1
    /// database). Meaningful while connected.
    int EffectiveDialect() const;

    /// The transaction statements bound to this database run in. Not owned.
    void SetDefaultTransaction(Transaction* transaction);
    Transaction* DefaultTransaction() const;

    bool Connected() const;
    /// Whether the attached database is read-only (gfix -mode read_only): nothing can be
    /// written to it.
    bool ReadOnly() const;
    /// Attaches with a parameter block made of Params and reads the database's dialect.
    /// Raises EFirebirdError with the client's text; the database stays unattached then.
    void Open();
    /// Commits an active default transaction, then detaches.
    void Close();
    /// Rolls back an active default transaction and deletes the attached database: the only
    /// way to remove a file on a server's disk. Raises EFirebirdError (another attachment holds
    /// it, say); the database stays attached then.
    void Drop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    friend class Transaction;
    friend class Statement;
};

} // namespace norvane::db
