#include "db/own_tables.h"

#include "db/database.h"
#include "db/firebird_error.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "support/expect_throw.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace norvane::db {
namespace {

using testing::TestDatabase;

// An attachment of the test process to a test database.
struct Attachment {
    explicit Attachment(const TestDatabase& file) : database("") {
        database.SetDatabaseName(file.Path());
        database.SetParams({"SYSDBA", "x"});
        database.Open();
    }
    Database database;
};

TEST(OwnTables, ATableIsMadeOnceAndKeptWithItsRows) {
    TestDatabase file;
    Attachment attachment(file);
    CreateTableOnFirstUse(attachment.database, "NORVANE$OWN", "ID integer not null primary key");
    file.Execute("insert into NORVANE$OWN values (1);");
    CreateTableOnFirstUse(attachment.database, "NORVANE$OWN", "ID integer not null primary key");
    EXPECT_EQ(file.QueryCount("select count(*) from NORVANE$OWN"), 1);
}

// Left unmade, the table would only be missed later, under another error.
TEST(OwnTables, ATableThatCannotBeMadeRaisesTheClientsText) {
    TestDatabase file;
    Attachment attachment(file);
    EXPECT_THROW_CONTAINING(
        CreateTableOnFirstUse(attachment.database, "NORVANE$OWN", "ID integer, ID integer"),
        EFirebirdError, "unsuccessful metadata update");
    EXPECT_EQ(file.QueryCount("select count(*) from rdb$relations "
                              "where rdb$relation_name = 'NORVANE$OWN'"),
              0);
}

// Another installer making the same table at the same moment: this one waits for it and fails
// on the name, which is no failure, since the table is there.
TEST(OwnTables, ATableAnotherConnectionMakesMeanwhileIsTakenAsMade) {
    TestDatabase file;
    Attachment other(file);
    Transaction making(other.database);
    making.StartTransaction();
    RunStatement(making, "create table NORVANE$OWN (ID integer not null primary key)");
    std::thread committer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        making.Commit();
    });
    Attachment attachment(file);
    EXPECT_NO_THROW(CreateTableOnFirstUse(attachment.database, "NORVANE$OWN",
                                          "ID integer not null primary key"));
    committer.join();
    EXPECT_EQ(file.QueryCount("select count(*) from NORVANE$OWN"), 0);
}

bool HasLockRow(Transaction& transaction) {
    Statement query(transaction, Parameters::Raw);
    query.SetSql("select count(*) from LOCKS where ID = 1");
    query.Execute();
    const bool found = query.Fetch() && std::get<ScaledInteger>(query.Field(0)).value > 0;
    query.Close();
    return found;
}

TEST(OwnTables, WorkAnotherConnectionDoesMeanwhileIsNoFailure) {
    TestDatabase file;
    file.Execute("create table LOCKS (ID integer not null primary key);");
    Attachment other(file);
    Transaction adding(other.database);
    adding.StartTransaction();
    RunStatement(adding, "insert into LOCKS values (1)");
    std::thread committer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        adding.Commit();
    });
    Attachment attachment(file);
    // The insert waits for the other connection's row and then meets it: a duplicate key.
    EXPECT_NO_THROW(DoOnce(attachment.database, HasLockRow, [](Transaction& transaction) {
        RunStatement(transaction, "insert into LOCKS values (1)");
    }));
    committer.join();
    EXPECT_EQ(file.QueryCount("select count(*) from LOCKS"), 1);
}

TEST(OwnTables, WorkThatFailsWhileNotDoneRaisesTheClientsText) {
    TestDatabase file;
    file.Execute("create table LOCKS (ID integer not null primary key);");
    Attachment attachment(file);
    EXPECT_THROW_CONTAINING(DoOnce(attachment.database, HasLockRow,
                                   [](Transaction& transaction) {
                                       RunStatement(transaction, "insert into LOCKS values (null)");
                                   }),
                            EFirebirdError, "ID");
}

} // namespace
} // namespace norvane::db
