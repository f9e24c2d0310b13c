#pragma once

// The insides of Database and Transaction, shared by the files of src/db.

#include "db/client.h"
#include "db/database.h"
#include "db/transaction.h"

#include <optional>
#include <string>

namespace norvane::db {

struct Database::Impl {
    explicit Impl(std::shared_ptr<const Client> loaded)
        : client(std::move(loaded)), attachment(client) {}

    std::shared_ptr<const Client> client;
    std::string name;
    ConnectionParams params;
    int databaseDialect = 1;
    Transaction* defaultTransaction = nullptr;
    AttachmentHandle attachment;
};

struct Transaction::Impl {
    Impl(Database& owner, TransactionMode transactionMode)
        : database(owner), mode(transactionMode), handle(owner.m_impl->client) {}

    Database& database;
    TransactionMode mode;
    std::chrono::seconds lockTimeout{0};
    // The parameter block the active transaction was started with.
    std::string startedWith;
    TransactionHandle handle;
};

} // namespace norvane::db
