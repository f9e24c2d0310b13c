#include "db/run_lock.h"

#include "db/database.h"
#include "db/firebird_error.h"
#include "db/statement.h"
#include "platform/environment.h"

namespace norvane::db {

namespace {

constexpr const char* LockRowExistsQuery = "select count(*) from NORVANE$UPDATE_LOCK where ID = 1";
// Seen through a snapshot, a row held by a running installer is already there: no wait.
constexpr const char* AddRow = "insert into NORVANE$UPDATE_LOCK (ID) "
                               "select 1 from rdb$database where not exists "
                               "(select 1 from NORVANE$UPDATE_LOCK where ID = 1)";
constexpr const char* WriteHolder =
    "update NORVANE$UPDATE_LOCK set TAKEN_AT = current_timestamp, HOST = :HOST, "
    "PROCESS_ID = :PROCESS_ID, USER_NAME = :USER_NAME, ATTACHMENT_ID = current_connection "
    "where ID = 1";
// Holds the row only while it names this connection.
constexpr const char* TakeRow = "update NORVANE$UPDATE_LOCK set ID = ID "
                                "where ID = 1 and ATTACHMENT_ID = current_connection";
constexpr const char* ReadHolder =
    "select HOST, PROCESS_ID, USER_NAME, substring(cast(TAKEN_AT as varchar(24)) from 1 for 19) "
    "from NORVANE$UPDATE_LOCK where ID = 1";

bool LockRowExists(Transaction& transaction) {
    Statement query(transaction, Parameters::Raw);
    query.SetSql(LockRowExistsQuery);
    query.Execute();
    const bool found = query.Fetch() && std::get<ScaledInteger>(query.Field(0)).value > 0;
    query.Close();
    return found;
}

std::string Text(const FieldValue& value) {
    const auto* text = std::get_if<std::string>(&value);
    return text != nullptr ? *text : std::string();
}

} // namespace

const OwnTable& DatabaseRunLock::Table() {
    static const OwnTable table{
        "NORVANE$UPDATE_LOCK",
        {{"ID", "integer not null primary key",
          "1: the row an installer holds, by an update it never commits, while it runs"},
         {"TAKEN_AT", "timestamp",
          "when the installer that holds the row, or held it last, took it"},
         {"HOST", "varchar(255)", "the computer that installer runs on"},
         {"PROCESS_ID", "bigint", "its process id on that computer"},
         {"USER_NAME", "varchar(255)", "the system user it runs as"},
         {"ATTACHMENT_ID", "bigint", "its connection (MON$ATTACHMENTS.MON$ATTACHMENT_ID)"}},
        "norvane-update: who updates this database. A row held by another connection means an "
        "installer is running; the row names the last one that took it. Safe to drop when no "
        "installer runs."};
    return table;
}

DatabaseRunLock::DatabaseRunLock(Database& database)
    : m_database(database), m_hold(database, TransactionMode::ReadCommittedNoWait) {}

DatabaseRunLock::~DatabaseRunLock() {
    m_hold.Abandon();
}

void DatabaseRunLock::EnsureLockRow() {
    DoOnce(m_database, LockRowExists,
           [](Transaction& transaction) { RunStatement(transaction, AddRow); });
}

bool DatabaseRunLock::WriteWhoHolds() {
    const platform::ProcessIdentity me = platform::ThisProcess();
    Transaction writing(m_database, TransactionMode::ReadCommittedNoWait);
    writing.StartTransaction();
    try {
        Statement update(writing, Parameters::Named);
        update.SetSql(WriteHolder);
        update.SetStringParam("HOST", me.host.substr(0, 255));
        update.SetStringParam("PROCESS_ID", std::to_string(me.processId));
        update.SetStringParam("USER_NAME", me.user.substr(0, 255));
        update.Execute();
        writing.Commit();
    } catch (const EFirebirdError& error) {
        writing.Abandon();
        if (error.IsLockConflict())
            return false;
        throw;
    }
    return true;
}

DatabaseRunLock::Result DatabaseRunLock::Acquire() {
    EnsureLockRow();
    if (!WriteWhoHolds())
        return Result::HeldByAnother;
    m_hold.StartTransaction();
    try {
        Statement take(m_hold, Parameters::Raw);
        take.SetSql(TakeRow);
        take.Execute();
        // Another installer wrote itself into the row after this one: it holds it.
        if (take.RowsAffected() == 1)
            return Result::Acquired;
    } catch (const EFirebirdError& error) {
        m_hold.Abandon();
        if (error.IsLockConflict())
            return Result::HeldByAnother;
        throw;
    }
    m_hold.Abandon();
    return Result::HeldByAnother;
}

std::optional<LockHolder> DatabaseRunLock::Holder() {
    std::optional<LockHolder> holder;
    try {
        RunInOwnTransaction(m_database, [&](Transaction& transaction) {
            Statement query(transaction, Parameters::Raw);
            query.SetSql(ReadHolder);
            query.Execute();
            if (query.Fetch() && std::holds_alternative<std::string>(query.Field(0))) {
                const FieldValue process = query.Field(1);
                const auto* number = std::get_if<ScaledInteger>(&process);
                holder = LockHolder{Text(query.Field(0)), number ? number->value : 0,
                                    Text(query.Field(2)), Text(query.Field(3))};
            }
            query.Close();
        });
    } catch (const EFirebirdError&) {
        // The refusal stands without a name.
    }
    return holder;
}

} // namespace norvane::db
