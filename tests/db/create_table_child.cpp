// Makes one keyed table in the database named by its argument, through whatever client library
// it is given: the table id tests kill it inside that CREATE TABLE's commit.
#include "db/database.h"
#include "db/own_tables.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    using namespace norvane::db;
    if (argc != 2) {
        std::cerr << "usage: create_table_child DATABASE\n";
        return 2;
    }
    try {
        Database database("");
        database.SetDatabaseName(argv[1]);
        database.SetParams({"SYSDBA", "x", true});
        database.Open();
        RunInOwnTransaction(database, [](Transaction& transaction) {
            RunStatement(transaction, "create table CUT (ID integer not null primary key)");
        });
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    return 0;
}
