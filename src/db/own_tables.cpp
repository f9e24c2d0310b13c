#include "db/own_tables.h"

#include "db/firebird_error.h"
#include "db/statement.h"
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
    RunAlongsideOthers(database, [&](Transaction& transaction) {
        if (!TableExists(transaction, name))
            RunStatement(transaction,
                         "create table " + std::string(name) + " (" + std::string(columns) + ")");
    });
}

void RunAlongsideOthers(Database& database, const std::function<void(Transaction&)>& work) {
    Transaction transaction(database);
    transaction.StartTransaction();
    try {
        work(transaction);
        transaction.Commit();
    } catch (const EFirebirdError& error) {
        if (error.IsFatal())
            throw;
        transaction.Abandon();
    }
}

void RunStatement(Transaction& transaction, const std::string& sql) {
    Statement statement(transaction, Parameters::Raw);
    statement.SetSql(sql);
    statement.Execute();
}

} // namespace norvane::db
