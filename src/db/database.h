#pragma once

#include "db/firebird_error.h"

#include <memory>
#include <string>
#include <vector>

namespace norvane::db {

class Client;
class Transaction;

/// Whether the client may ask the user for credentials. No dialog exists; the switch is kept
/// so the connection's settings read as they are meant.
enum class LoginPrompt { Off, On };

/// One attachment to a database: its name, connection parameters, SQL dialect and default
/// transaction.
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

    /// Connection parameters, one "name=value" a line. Known names: user_name, password.
    std::vector<std::string>& Params();
    const std::vector<std::string>& Params() const;

    /// The SQL dialect asked for (3 unless set).
    void SetSQLDialect(int dialect);
    int SQLDialect() const;
    /// The dialect statements run in: the one asked for, or the database's when lower.
    /// Meaningful while connected.
    int EffectiveDialect() const;
    /// The database's own dialect as read on Open (1 when it does not report one).
    int DBSQLDialect() const;

    void SetLoginPrompt(LoginPrompt prompt);
    LoginPrompt GetLoginPrompt() const;

    /// The transaction statements bound to this database run in. Not owned.
    void SetDefaultTransaction(Transaction* transaction);
    Transaction* DefaultTransaction() const;

    bool Connected() const;
    /// Attaches with a parameter block made of Params and reads the database's dialect.
    /// Raises EFirebirdError with the client's text; the database stays unattached then.
    void Open();
    /// Commits an active default transaction, then detaches.
    void Close();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    friend class Transaction;
    friend class Statement;
};

} // namespace norvane::db
