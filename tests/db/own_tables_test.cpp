#include "db/own_tables.h"

#include "db/database.h"
#include "db/firebird_error.h"
#include "db/run_lock.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "platform/environment.h"
#include "support/expect_throw.h"
#include "support/row_holder.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <unistd.h>

#ifndef _WIN32
// Linux processes: gfix, a private server.
#include "support/child_process.h"
#include "support/private_server.h"
#include "support/test_server.h"
#endif

#include <array>
#include <chrono>
#include <span>
#include <thread>

namespace norvane::db {
namespace {

using testing::TestDatabase;

// An attachment of the test process to a test database.
struct Attachment {
    explicit Attachment(const TestDatabase& file, const std::string& user = "SYSDBA",
                        const std::string& password = "x")
        : database("") {
        database.SetDatabaseName(file.Path());
        database.SetParams({user, password});
        database.Open();
    }
    Database database;
};

// Two tables as the installer has them: one with a key, one without.
const OwnTable Lock{"NORVANE$OWN_LOCK",
                    {{"ID", "integer not null primary key", "the row's number"},
                     {"HOLDER", "varchar(20)", "who holds it"}},
                    "a lock's table"};
const OwnTable Journal{
    "NORVANE$OWN_JOURNAL",
    {{"ITEM", "varchar(20) not null", "what is done"}, {"N", "integer", "how much of it"}},
    "a journal's table"};
const std::array Both{Lock, Journal};

std::string Description(TestDatabase& file, const std::string& where) {
    return file
        .QueryString("select cast(rdb$description as varchar(200) character set utf8) " + where)
        .value_or("NULL");
}

TEST(OwnTables, AreMadeTogetherInOneTransactionWithWhatTheyAreFor) {
    TestDatabase file;
    Attachment attachment(file);
    EnsureOwnTables(attachment.database, Both);
    EXPECT_TRUE(OwnTablesComplete(attachment.database, Both));
    EXPECT_EQ(Description(file, "from rdb$relations where rdb$relation_name = 'NORVANE$OWN_LOCK'"),
              "a lock's table");
    EXPECT_EQ(Description(file, "from rdb$relation_fields where rdb$relation_name = "
                                "'NORVANE$OWN_JOURNAL' and rdb$field_name = 'N'"),
              "how much of it");
    file.Execute("insert into NORVANE$OWN_LOCK values (1, 'me');");
    // Made once: a second call changes nothing and keeps the rows.
    EnsureOwnTables(attachment.database, Both);
    EXPECT_EQ(file.QueryCount("select count(*) from NORVANE$OWN_LOCK"), 1);
}

TEST(OwnTables, AnEarlierVersionsTableGetsTheColumnsItLacks) {
    TestDatabase file;
    file.Execute("create table NORVANE$OWN_LOCK (ID integer not null primary key);\n"
                 "commit;\ninsert into NORVANE$OWN_LOCK values (1);");
    Attachment attachment(file);
    EXPECT_FALSE(OwnTablesComplete(attachment.database, Both));
    EnsureOwnTables(attachment.database, Both);
    EXPECT_TRUE(OwnTablesComplete(attachment.database, Both));
    EXPECT_EQ(file.QueryString("select coalesce(HOLDER, 'none') from NORVANE$OWN_LOCK"), "none");
    EXPECT_EQ(Description(file, "from rdb$relation_fields where rdb$relation_name = "
                                "'NORVANE$OWN_LOCK' and rdb$field_name = 'HOLDER'"),
              "who holds it");
}

// Left unmade, the tables would only be missed later, under another error; nothing of a
// failed making stays.
TEST(OwnTables, WhatCannotBeMadeRaisesTheClientsTextAndLeavesNothing) {
    TestDatabase file;
    Attachment attachment(file);
    const OwnTable broken{"NORVANE$OWN_BROKEN", {{"ID", "integer", ""}, {"ID", "integer", ""}}, ""};
    const std::array tables{Lock, broken};
    EXPECT_THROW_CONTAINING(EnsureOwnTables(attachment.database, tables), EFirebirdError,
                            "unsuccessful metadata update");
    EXPECT_EQ(file.QueryCount("select count(*) from rdb$relations "
                              "where rdb$relation_name starting with 'NORVANE$OWN'"),
              0);
}

// A user without the right to make tables is told which right, as the client says it.
TEST(OwnTables, AUserWithoutTheRightIsToldWhichRight) {
    TestDatabase file;
    Attachment clerkAttachment(file, "CLERK", "");
    Database& clerk = clerkAttachment.database;
    try {
        EnsureOwnTables(clerk, Both);
        ADD_FAILURE() << "a user without the right made the tables";
    } catch (const EFirebirdError& error) {
        EXPECT_NE(std::string(error.what()).find("There is no privilege for this operation"),
                  std::string::npos)
            << error.what();
        EXPECT_EQ(MissingRight(error), "CREATE TABLE");
    }
    // Made by the owner, the tables are still not the clerk's to write.
    Attachment owner(file);
    EnsureOwnTables(owner.database, Both);
    try {
        RunInOwnTransaction(clerk, [](Transaction& transaction) {
            RunStatement(transaction, "insert into NORVANE$OWN_LOCK (ID) values (1)");
        });
        ADD_FAILURE() << "a user without the right wrote to the table";
    } catch (const EFirebirdError& error) {
        EXPECT_EQ(MissingRight(error), "INSERT ON NORVANE$OWN_LOCK") << error.what();
    }
}

// What the engine says a user lacks, turned into what an administrator grants: a right on one
// object, on a column, or on every object of a kind when the object is another user's.
TEST(OwnTables, TheMissingRightIsNamedAsAGrantNamesIt) {
    TestDatabase file;
    file.Execute("create table L (ID integer not null primary key, HOST varchar(20));\n"
                 "create sequence G;\n"
                 "set term ^ ;\ncreate procedure P as begin end^\nset term ; ^\n"
                 "commit;\ninsert into L values (1, 'h');\n"
                 "grant select on L to CLERK;\ngrant update (HOST) on L to CLERK;");
    Attachment clerkAttachment(file, "CLERK", "");
    Database& clerk = clerkAttachment.database;
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"delete from L", "DELETE ON L"},
        {"update L set ID = ID", "UPDATE (ID) ON L"},
        {"execute procedure P", "EXECUTE ON PROCEDURE P"},
        {"select gen_id(G, 1) from rdb$database", "USAGE ON GENERATOR G"},
        {"alter table L add X integer", "ALTER ANY TABLE"},
        {"drop table L", "DROP ANY TABLE"},
        {"create sequence G2", "CREATE SEQUENCE"},
        // A failure that is not about rights names none.
        {"update L set HOST = 'a much longer host name than fits'", std::nullopt},
    };
    for (const auto& [sql, right] : cases) {
        try {
            RunInOwnTransaction(clerk, [&](Transaction& t) { RunStatement(t, sql); });
            ADD_FAILURE() << sql << " passed";
        } catch (const EFirebirdError& error) {
            EXPECT_EQ(MissingRight(error), right) << sql << ": " << error.what();
        }
    }
    EXPECT_EQ(file.QueryCount("select count(*) from L where HOST = 'h'"), 1);
}

// The table an earlier version made belongs to its maker: a user allowed to make tables may
// not add the columns it lacks, and is told so.
TEST(OwnTables, AnotherUsersEarlierTableIsNotAlteredAndTheRightIsNamed) {
    TestDatabase file;
    file.Execute("create table NORVANE$OWN_LOCK (ID integer not null primary key);\n"
                 "grant create table to CLERK;");
    Attachment clerkAttachment(file, "CLERK", "");
    Database& clerk = clerkAttachment.database;
    try {
        EnsureOwnTables(clerk, Both);
        ADD_FAILURE() << "another user's table was altered";
    } catch (const EFirebirdError& error) {
        EXPECT_NE(std::string(error.what()).find("ALTER TABLE NORVANE$OWN_LOCK failed"),
                  std::string::npos)
            << error.what();
        EXPECT_EQ(MissingRight(error), "ALTER ANY TABLE");
    }
    // One transaction: the table the clerk could make is not left alone either.
    EXPECT_EQ(file.QueryCount("select count(*) from rdb$relations "
                              "where rdb$relation_name starting with 'NORVANE$OWN'"),
              1);
    EXPECT_FALSE(OwnTablesComplete(clerk, Both));
}

#ifndef _WIN32
// The lock's table as this version makes it, before any installer added its row.
void MakeEarlierLockTableWithoutRow(TestDatabase& file) {
    Attachment ownerAttachment(file);
    Database& owner = ownerAttachment.database;
    EnsureOwnTables(owner, std::span(&DatabaseRunLock::Table(), 1));
}

// A database switched to read-only (gfix -mode read_only) cannot take the installer's tables
// or its lock row; the engine's refusal comes at once, not after rounds of retrying.
TEST(OwnTables, AReadOnlyDatabaseRefusesAtOnce) {
    TestDatabase file;
    MakeEarlierLockTableWithoutRow(file);
    const auto gfix = norvane::testing::RunCommand(
        {"/usr/bin/gfix", "-mode", "read_only", "-user", "SYSDBA", file.Path()});
    ASSERT_EQ(gfix.status, 0) << gfix.output;
    Attachment attachment(file);
    EXPECT_TRUE(attachment.database.ReadOnly());
    try {
        EnsureOwnTables(attachment.database, Both);
        ADD_FAILURE() << "tables made in a read-only database";
    } catch (const EFirebirdError& error) {
        EXPECT_TRUE(error.IsFatal()) << error.what();
        EXPECT_NE(std::string(error.what()).find("read-only"), std::string::npos) << error.what();
    }
    DatabaseRunLock lock(attachment.database);
    try {
        lock.Acquire();
        ADD_FAILURE() << "the lock row was added to a read-only database";
    } catch (const EFirebirdError& error) {
        EXPECT_TRUE(error.IsFatal()) << error.what();
    }
    EXPECT_EQ(file.QueryCount("select count(*) from NORVANE$UPDATE_LOCK"), 0);
    // Without a row no one is named.
    EXPECT_FALSE(lock.Holder().has_value());
    EXPECT_EQ(file.QueryCount("select count(*) from rdb$relations "
                              "where rdb$relation_name starting with 'NORVANE$OWN'"),
              0);
}

#endif

// Another installer making the same table at the same moment: this one waits for it and fails
// on the name, which is no failure, since the table is there.
TEST(OwnTables, ATableAnotherConnectionMakesMeanwhileIsTakenAsMade) {
    TestDatabase file;
    Attachment other(file);
    Transaction making(other.database);
    making.StartTransaction();
    RunStatement(making, "create table NORVANE$OWN_LOCK (ID integer not null primary key, "
                         "HOLDER varchar(20))");
    std::thread committer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        making.Commit();
    });
    Attachment attachment(file);
    EXPECT_NO_THROW(EnsureOwnTables(attachment.database, Both));
    committer.join();
    EXPECT_TRUE(OwnTablesComplete(attachment.database, Both));
    EXPECT_EQ(file.QueryCount("select count(*) from NORVANE$OWN_LOCK"), 0);
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

// The lock's table as an earlier installer made it, with its row.
void MakeEarlierLockTable(TestDatabase& file) {
    file.Execute("create table NORVANE$UPDATE_LOCK (ID integer not null primary key, "
                 "TAKEN_AT timestamp);\ncommit;\ninsert into NORVANE$UPDATE_LOCK (ID) values (1);");
}

TEST(DatabaseRunLock, ARefusedInstallerReadsWhoHoldsIt) {
    TestDatabase file;
    MakeEarlierLockTable(file);
    Attachment first(file);
    Attachment second(file);
    const std::span lockTable(&DatabaseRunLock::Table(), 1);
    EnsureOwnTables(first.database, lockTable);
    {
        DatabaseRunLock holding(first.database);
        ASSERT_EQ(holding.Acquire(), DatabaseRunLock::Result::Acquired);
        DatabaseRunLock refused(second.database);
        EXPECT_EQ(refused.Acquire(), DatabaseRunLock::Result::HeldByAnother);
        const std::optional<LockHolder> holder = refused.Holder();
        ASSERT_TRUE(holder.has_value());
        const platform::ProcessIdentity me = platform::ThisProcess();
        EXPECT_EQ(holder->host, me.host);
        EXPECT_EQ(holder->processId, ::getpid());
        EXPECT_EQ(holder->user, me.user);
        EXPECT_EQ(holder->takenAt.size(), 19u) << holder->takenAt;
        // An administrator reads the same, and the time it was taken, in the table.
        EXPECT_EQ(file.QueryString("select PROCESS_ID from NORVANE$UPDATE_LOCK"),
                  std::to_string(::getpid()));
        EXPECT_EQ(file.QueryCount("select count(*) from NORVANE$UPDATE_LOCK "
                                  "where TAKEN_AT is not null and ATTACHMENT_ID is not null"),
                  1);
    }
    // Given back, it is the next one's.
    DatabaseRunLock next(second.database);
    EXPECT_EQ(next.Acquire(), DatabaseRunLock::Result::Acquired);
}

// A user's uncommitted edit of the row, or an installer that holds it: this one does not wait
// and does not overwrite who holds it.
TEST(DatabaseRunLock, ARowAnotherAttachmentHoldsIsRefusedWithoutWaiting) {
    TestDatabase file;
    MakeEarlierLockTable(file);
    Attachment attachment(file);
    EnsureOwnTables(attachment.database, std::span(&DatabaseRunLock::Table(), 1));
    {
        norvane::testing::RowHolder holder(
            file.Path(), "update NORVANE$UPDATE_LOCK set HOST = 'elsewhere', PROCESS_ID = null");
        DatabaseRunLock refused(attachment.database);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(refused.Acquire(), DatabaseRunLock::Result::HeldByAnother);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
        EXPECT_FALSE(holder.EndedAtDeadline());
        holder.Commit();
        const std::optional<LockHolder> named = refused.Holder();
        ASSERT_TRUE(named.has_value());
        // A holder that wrote only part of itself is named with what it wrote.
        EXPECT_EQ(named->host, "elsewhere");
        EXPECT_EQ(named->processId, 0);
        EXPECT_EQ(named->user, "");
    }
    DatabaseRunLock next(attachment.database);
    EXPECT_EQ(next.Acquire(), DatabaseRunLock::Result::Acquired);
}

// Between writing itself into the row and taking it, another installer wrote itself in: the
// row names that one, so it holds the lock. A trigger stands in for its write.
TEST(DatabaseRunLock, AnInstallerThatWroteItselfInLastHoldsIt) {
    TestDatabase file;
    MakeEarlierLockTable(file);
    Attachment attachment(file);
    EnsureOwnTables(attachment.database, std::span(&DatabaseRunLock::Table(), 1));
    file.Execute("set term ^ ;\ncreate trigger OTHER_INSTALLER for NORVANE$UPDATE_LOCK "
                 "before update as begin if (new.TAKEN_AT is distinct from old.TAKEN_AT) then "
                 "new.ATTACHMENT_ID = -1; end^\nset term ; ^");
    DatabaseRunLock lock(attachment.database);
    EXPECT_EQ(lock.Acquire(), DatabaseRunLock::Result::HeldByAnother);
    EXPECT_EQ(file.QueryCount("select ATTACHMENT_ID from NORVANE$UPDATE_LOCK"), -1);
}

// Another installer holds the row at the moment this one takes it, after this one wrote
// itself in: refused, not failed, and nothing of it is left holding the row. A trigger whose
// own transaction updates the row stands in for the other installer's hold.
TEST(DatabaseRunLock, ARowHeldWhenItIsTakenIsAnotherInstallersLock) {
    TestDatabase file;
    MakeEarlierLockTable(file);
    Attachment attachment(file);
    EnsureOwnTables(attachment.database, std::span(&DatabaseRunLock::Table(), 1));
    file.Execute("set term ^ ;\ncreate trigger OTHER_HOLD for NORVANE$UPDATE_LOCK after update "
                 "as begin if (new.TAKEN_AT is not distinct from old.TAKEN_AT) then "
                 "in autonomous transaction do update NORVANE$UPDATE_LOCK set ID = ID; end^\n"
                 "set term ; ^");
    {
        DatabaseRunLock lock(attachment.database);
        EXPECT_EQ(lock.Acquire(), DatabaseRunLock::Result::HeldByAnother);
    }
    file.Execute("drop trigger OTHER_HOLD;");
    DatabaseRunLock next(attachment.database);
    EXPECT_EQ(next.Acquire(), DatabaseRunLock::Result::Acquired);
}

// A user granted less than the lock needs gets the engine's refusal, which names the right,
// and no name of a holder.
TEST(DatabaseRunLock, AUserWithoutTheRightsToTakeTheRowIsRefusedWithTheRight) {
    TestDatabase file;
    MakeEarlierLockTable(file);
    {
        Attachment owner(file);
        EnsureOwnTables(owner.database, std::span(&DatabaseRunLock::Table(), 1));
    }
    struct Case {
        const char* grant;
        const char* right;
        // Whether it may read who holds the row (the installer that last took it).
        bool readsHolder;
    };
    const Case cases[] = {
        {"", "SELECT ON NORVANE$UPDATE_LOCK", false},
        {"grant select on NORVANE$UPDATE_LOCK to CLERK;", "UPDATE ON NORVANE$UPDATE_LOCK", true},
        // Allowed to name itself, but not to hold the row by its key.
        {"grant update (TAKEN_AT, HOST, PROCESS_ID, USER_NAME, ATTACHMENT_ID) "
         "on NORVANE$UPDATE_LOCK to CLERK;",
         "UPDATE (ID) ON NORVANE$UPDATE_LOCK", true},
    };
    for (const auto& [grant, right, readsHolder] : cases) {
        if (*grant != '\0')
            file.Execute(grant);
        Attachment clerkAttachment(file, "CLERK", "");
        Database& clerk = clerkAttachment.database;
        DatabaseRunLock lock(clerk);
        try {
            lock.Acquire();
            ADD_FAILURE() << right << ": the lock was taken";
        } catch (const EFirebirdError& error) {
            EXPECT_EQ(MissingRight(error), right) << error.what();
        }
        EXPECT_EQ(lock.Holder().has_value(), readsHolder) << right;
        // Nothing of the refused attempt holds the row.
        Attachment sysdba(file);
        DatabaseRunLock other(sysdba.database);
        EXPECT_EQ(other.Acquire(), DatabaseRunLock::Result::Acquired) << right;
    }
}

#ifndef _WIN32
// The server dies under a running installer: whatever it asks next fails as a lost database,
// which ends the run instead of being retried or taken for another installer's lock.
TEST(DatabaseRunLock, AServerGoneMidRunFailsEveryCallAsFatal) {
    // A private server runs where the test server does.
    if (testing::ServerForTest().empty())
        GTEST_SKIP() << testing::NoServerReason;
    TestDatabase file;
    MakeEarlierLockTable(file);
    norvane::testing::PrivateFirebirdServer server;
    Database database("");
    database.SetDatabaseName(server.Name() + ":" + file.Path());
    database.SetParams({"SYSDBA", "quillbark"});
    database.Open();
    const std::span lockTable(&DatabaseRunLock::Table(), 1);
    EnsureOwnTables(database, lockTable);
    DatabaseRunLock holding(database);
    ASSERT_EQ(holding.Acquire(), DatabaseRunLock::Result::Acquired);
    server.Kill();
    const std::pair<const char*, std::function<void()>> calls[] = {
        {"making the tables", [&] { EnsureOwnTables(database, Both); }},
        {"taking the lock", [&] { DatabaseRunLock(database).Acquire(); }},
        {"a statement",
         [&] {
             RunInOwnTransaction(
                 database, [](Transaction& t) { RunStatement(t, "select 1 from rdb$database"); });
         }},
    };
    for (const auto& [what, call] : calls) {
        try {
            call();
            ADD_FAILURE() << what << " passed";
        } catch (const EFirebirdError& error) {
            EXPECT_TRUE(error.IsFatal()) << what << ": " << error.what();
            EXPECT_FALSE(error.IsLockWait()) << what;
            EXPECT_FALSE(error.IsLockConflict()) << what;
        }
    }
    EXPECT_FALSE(holding.Holder().has_value());
    // What is left of the attachment is let go without a word from the server.
    EXPECT_NO_THROW(database.Close());
    EXPECT_FALSE(database.Connected());
}
#endif

} // namespace
} // namespace norvane::db
