#include "db/own_tables.h"

#include "db/firebird_error.h"
#include "db/statement.h"
#include "db/table_ids.h"
#include "db/transaction.h"

namespace norvane::db {

bool TableExists(Transaction& transaction, std::string_view name) {
    Statement query(transaction, Parameters::Named);
    query.SetSql("select count(*) from rdb$relations where rdb$relation_name = :NAME");
    query.SetStringParam("NAME", name);
    query.Execute();
    const bool found = query.Fetch() && std::get<ScaledInteger>(query.Field(0)).value > 0;
    query.Close();
    return found;
}

void CreateTableOnFirstUse(Database& database, std::string_view name, std::string_view columns) {
    const auto exists = [&](Transaction& transaction) { return TableExists(transaction, name); };
    bool found = false;
    RunInOwnTransaction(database, [&](Transaction& transaction) { found = exists(transaction); });
    if (found)
        return;
    SkipTableIdsOfInterruptedCreates(database);
    DoOnce(database, exists, [&](Transaction& transaction) {
        RunStatement(transaction,
                     "create table " + std::string(name) + " (" + std::string(columns) + ")");
    });
}

void AddColumnOnFirstUse(Database& database, std::string_view table, std::string_view column,
                         std::string_view definition) {
    DoOnce(
        database,
        [&](Transaction& transaction) {
            Statement query(transaction, Parameters::Named);
            query.SetSql("select count(*) from rdb$relation_fields "
                         "where rdb$relation_name = :TABLE and rdb$field_name = :COLUMN");
            query.SetStringParam("TABLE", table);
            query.SetStringParam("COLUMN", column);
            query.Execute();
            const bool found = query.Fetch() && std::get<ScaledInteger>(query.Field(0)).value > 0;
            query.Close();
            return found;
        },
        [&](Transaction& transaction) {
            RunStatement(transaction, "alter table " + std::string(table) + " add " +
                                          std::string(column) + " " + std::string(definition));
        });
}

void DoOnce(Database& database, const std::function<bool(Transaction&)>& done,
            const std::function<void(Transaction&)>& work) {
    bool doneAlready = false;
    const auto check = [&](Transaction& transaction) { doneAlready = done(transaction); };
    RunInOwnTransaction(database, check);
    if (doneAlready)
        return;
    try {
        RunInOwnTransaction(database, work);
    } catch (const EFirebirdError& error) {
        if (error.IsFatal())
            throw;
        RunInOwnTransaction(database, check);
        if (!doneAlready)
            throw;
    }
}

void RunInOwnTransaction(Database& database, const std::function<void(Transaction&)>& work) {
    Transaction transaction(database);
    transaction.StartTransaction();
    work(transaction);
    transaction.Commit();
}

void RunStatement(Transaction& transaction, const std::string& sql) {
    Statement statement(transaction, Parameters::Raw);
    statement.SetSql(sql);
    statement.Execute();
}

} // namespace norvane::db
