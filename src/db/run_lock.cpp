#include "db/run_lock.h"

#include "db/database.h"
#include "db/firebird_error.h"
#include "db/own_tables.h"
#include "db/statement.h"

namespace norvane::db {

namespace {

constexpr std::string_view Table = "NORVANE$UPDATE_LOCK";
constexpr std::string_view Columns = "ID integer not null primary key, TAKEN_AT timestamp";
// Seen through a snapshot, a row held by a running installer is already there: no wait.
constexpr const char* AddRow = "insert into NORVANE$UPDATE_LOCK (ID) "
                               "select 1 from rdb$database where not exists "
                               "(select 1 from NORVANE$UPDATE_LOCK where ID = 1)";
constexpr const char* TakeRow =
    "update NORVANE$UPDATE_LOCK set TAKEN_AT = current_timestamp where ID = 1";

bool LockRowExists(Transaction& transaction) {
    Statement query(transaction, Parameters::Raw);
    query.SetSql("select count(*) from NORVANE$UPDATE_LOCK where ID = 1");
    query.Execute();
    const bool found = query.Fetch() && std::get<ScaledInteger>(query.Field(0)).value > 0;
    query.Close();
    return found;
}

} // namespace

DatabaseRunLock::DatabaseRunLock(Database& database)
    : m_database(database), m_hold(database, TransactionMode::ReadCommittedNoWait) {}

DatabaseRunLock::~DatabaseRunLock() {
    m_hold.Abandon();
}

void DatabaseRunLock::EnsureLockRow() {
    CreateTableOnFirstUse(m_database, Table, Columns);
    DoOnce(m_database, LockRowExists,
           [](Transaction& transaction) { RunStatement(transaction, AddRow); });
}

DatabaseRunLock::Result DatabaseRunLock::Acquire() {
    EnsureLockRow();
    m_hold.StartTransaction();
    try {
        RunStatement(m_hold, TakeRow);
    } catch (const EFirebirdError& error) {
        m_hold.Abandon();
        if (error.IsLockConflict())
            return Result::HeldByAnother;
        throw;
    }
    return Result::Acquired;
}

} // namespace norvane::db
