#include "db/transaction.h"

#include "base/exceptions.h"
#include "db/internal.h"

namespace norvane::db {

Transaction::Transaction(Database& database) : m_impl(std::make_unique<Impl>(database)) {}

Transaction::~Transaction() {
    m_impl->handle.Reset();
    if (m_impl->database.DefaultTransaction() == this)
        m_impl->database.SetDefaultTransaction(nullptr);
}

Database& Transaction::GetDatabase() const {
    return m_impl->database;
}

bool Transaction::Active() const {
    return m_impl->handle.Valid();
}

void Transaction::StartTransaction() {
    if (Active())
        throw Exception("The transaction is already active");
    Database::Impl& database = *m_impl->database.m_impl;
    if (!database.attachment.Valid())
        throw Exception("The database is not connected");
    // An empty parameter block: the server's defaults apply.
    TransactionElement element{database.attachment.Ptr(), 0, nullptr};
    ISC_STATUS_ARRAY status{};
    database.client->isc_start_multiple(status, m_impl->handle.Ptr(), 1, &element);
    database.client->Check(status);
}

void Transaction::Commit() {
    if (!Active())
        throw Exception("The transaction is not active");
    ISC_STATUS_ARRAY status{};
    m_impl->handle.Api().isc_commit_transaction(status, m_impl->handle.Ptr());
    m_impl->handle.Api().Check(status);
}

void Transaction::Rollback() {
    if (!Active())
        throw Exception("The transaction is not active");
    ISC_STATUS_ARRAY status{};
    m_impl->handle.Api().isc_rollback_transaction(status, m_impl->handle.Ptr());
    m_impl->handle.Api().Check(status);
}

} // namespace norvane::db
