#include "db/run_lock.h"

#include "db/database.h"
#include "db/firebird_error.h"
#include "db/statement.h"

namespace norvane::db {

namespace {

constexpr const char* kTableExists =
    "select count(*) from rdb$relations where rdb$relation_name = 'NORVANE$UPDATE_LOCK'";
constexpr const char* kCreateTable = "create table NORVANE$UPDATE_LOCK ("
                                     "ID integer not null primary key, "
                                     "TAKEN_AT timestamp)";
// Seen through a snapshot, a row held by a running installer is already there: no wait.
constexpr const char* kAddRow = "insert into NORVANE$UPDATE_LOCK (ID) "
                                "select 1 from rdb$database where not exists "
                                "(select 1 from NORVANE$UPDATE_LOCK where ID = 1)";
constexpr const char* kTakeRow =
    "update NORVANE$UPDATE_LOCK set TAKEN_AT = current_timestamp where ID = 1";

void Run(Transaction& transaction, const char* sql) {
    Statement statement(transaction, Parameters::Raw);
    statement.SetSql(sql);
    statement.Execute();
}

bool TableExists(Transaction& transaction) {
    Statement query(transaction, Parameters::Raw);
    query.SetSql(kTableExists);
    query.Execute();
    const bool found = query.Fetch() && std::get<ScaledInteger>(query.Field(0)).value > 0;
    query.Close();
    return found;
}

// Runs one step in a transaction of its own. Two installers making the table or its row at
// the same moment collide; the loser's error is let go, the winner's work serves both.
template <typename Step> void InOwnTransaction(Database& database, Step&& step) {
    Transaction transaction(database);
    transaction.StartTransaction();
    try {
        step(transaction);
        transaction.Commit();
    } catch (const EFirebirdError& error) {
        if (error.IsFatal())
            throw;
        transaction.Abandon();
    }
}

} // namespace

DatabaseRunLock::DatabaseRunLock(Database& database)
    : m_database(database), m_hold(database, TransactionMode::ReadCommittedNoWait) {}

DatabaseRunLock::~DatabaseRunLock() {
    m_hold.Abandon();
}

void DatabaseRunLock::EnsureLockRow() {
    InOwnTransaction(m_database, [](Transaction& transaction) {
        if (!TableExists(transaction))
            Run(transaction, kCreateTable);
    });
    InOwnTransaction(m_database, [](Transaction& transaction) { Run(transaction, kAddRow); });
}

DatabaseRunLock::Result DatabaseRunLock::Acquire() {
    EnsureLockRow();
    m_hold.StartTransaction();
    try {
        Run(m_hold, kTakeRow);
    } catch (const EFirebirdError& error) {
        m_hold.Abandon();
        if (error.IsLockConflict())
            return Result::HeldByAnother;
        throw;
    }
    return Result::Acquired;
}

} // namespace norvane::db
