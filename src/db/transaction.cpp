#include "db/transaction.h"

#include "base/exceptions.h"
#include "db/internal.h"

#include <cstdint>

namespace norvane::db {

namespace {

// The parameter block of a mode; empty for the server's defaults.
std::string ModeBlock(TransactionMode mode) {
    switch (mode) {
    case TransactionMode::ServerDefaults:
        return {};
    case TransactionMode::ReadCommittedNoWait:
        return {static_cast<char>(isc_tpb_version3), static_cast<char>(isc_tpb_write),
                static_cast<char>(isc_tpb_read_committed), static_cast<char>(isc_tpb_rec_version),
                static_cast<char>(isc_tpb_nowait)};
    case TransactionMode::ReadCommittedWait:
        return {static_cast<char>(isc_tpb_version3), static_cast<char>(isc_tpb_write),
                static_cast<char>(isc_tpb_read_committed), static_cast<char>(isc_tpb_rec_version),
                static_cast<char>(isc_tpb_wait)};
    }
    return {};
}

std::string ParameterBlock(TransactionMode mode, std::chrono::seconds lockTimeout) {
    std::string block = ModeBlock(mode);
    if (mode != TransactionMode::ReadCommittedWait || lockTimeout.count() <= 0)
        return block;
    const auto seconds = static_cast<std::uint32_t>(lockTimeout.count());
    block += static_cast<char>(isc_tpb_lock_timeout);
    block += static_cast<char>(sizeof seconds);
    // Little-endian, as the engine reads a number of a parameter block.
    for (std::size_t byte = 0; byte < sizeof seconds; ++byte)
        block += static_cast<char>((seconds >> (8 * byte)) & 0xFF);
    return block;
}

} // namespace

Transaction::Transaction(Database& database, TransactionMode mode)
    : m_impl(std::make_unique<Impl>(database, mode)) {}

Transaction::~Transaction() {
    m_impl->handle.Reset();
    if (m_impl->database.DefaultTransaction() == this)
        m_impl->database.SetDefaultTransaction(nullptr);
}

Database& Transaction::GetDatabase() const {
    return m_impl->database;
}

void Transaction::SetMode(TransactionMode mode) {
    m_impl->mode = mode;
}

void Transaction::SetLockTimeout(std::chrono::seconds timeout) {
    m_impl->lockTimeout = timeout;
}

bool Transaction::Active() const {
    return m_impl->handle.Valid();
}

bool Transaction::StartedInCurrentMode() const {
    return Active() && m_impl->startedWith == ParameterBlock(m_impl->mode, m_impl->lockTimeout);
}

void Transaction::StartTransaction() {
    if (Active())
        throw EMisuse("The transaction is already active");
    Database::Impl& database = *m_impl->database.m_impl;
    if (!database.attachment.Valid())
        throw EMisuse("The database is not connected");
    const std::string block = ParameterBlock(m_impl->mode, m_impl->lockTimeout);
    TransactionElement element{database.attachment.Ptr(), static_cast<int>(block.size()),
                               reinterpret_cast<const unsigned char*>(block.data())};
    ISC_STATUS_ARRAY status{};
    database.client->isc_start_multiple(status, m_impl->handle.Ptr(), 1, &element);
    database.client->Check(status);
    m_impl->startedWith = block;
}

void Transaction::Commit() {
    if (!Active())
        throw EMisuse("The transaction is not active");
    ISC_STATUS_ARRAY status{};
    m_impl->handle.Api().isc_commit_transaction(status, m_impl->handle.Ptr());
    m_impl->handle.Api().Check(status);
}

void Transaction::Rollback() {
    if (!Active())
        throw EMisuse("The transaction is not active");
    ISC_STATUS_ARRAY status{};
    m_impl->handle.Api().isc_rollback_transaction(status, m_impl->handle.Ptr());
    m_impl->handle.Api().Check(status);
}

void Transaction::Abandon() noexcept {
    m_impl->handle.Reset();
}

} // namespace norvane::db
