// A CREATE TABLE cut off inside its commit leaves pages under the table id it was given but no
// table; the engine would give the same id to the next table, which then fails. The cut is made
// in a child program with the fault library as its client, killed just before a page write of
// its CREATE TABLE commit.
#include "db/table_ids.h"

#include "db/database.h"
#include "db/firebird_error.h"
#include "db/own_tables.h"
#include "support/child_process.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <string>

namespace norvane::db {
namespace {

using testing::TestDatabase;

constexpr const char* TakenIds =
    "select count(distinct p.RDB$RELATION_ID) from RDB$PAGES p cross join RDB$DATABASE d "
    "where p.RDB$RELATION_ID >= d.RDB$RELATION_ID and not exists "
    "(select 1 from RDB$RELATIONS r where r.RDB$RELATION_ID = p.RDB$RELATION_ID)";

// Kills a child inside its CREATE TABLE commit before each page write in turn, until one kill
// leaves a table id taken; true when one did.
bool CutACreateTableShort(TestDatabase& file) {
    for (int write = 1; write <= 40; ++write) {
        const testing::CommandResult child = testing::RunCommand(
            {NORVANE_CREATE_TABLE_CHILD, file.Path()},
            {"NORVANE_FBCLIENT=" NORVANE_FAULT_INJECTION, "LD_PRELOAD=" NORVANE_FAULT_INJECTION,
             "NORVANE_FAULT_CREATE_TABLE=1", "NORVANE_FAULT_WHEN=write",
             "NORVANE_FAULT_WRITE=" + std::to_string(write)});
        // The kill came after the commit's last page: the table is made.
        if (child.status == 0)
            return false;
        if (file.QueryCount(TakenIds) > 0)
            return true;
        if (file.QueryCount("select count(*) from RDB$RELATIONS where RDB$RELATION_NAME = 'CUT'") >
            0)
            file.Execute("drop table CUT;");
    }
    return false;
}

bool Exists(Database& database, std::string_view table) {
    bool found = false;
    RunInOwnTransaction(database,
                        [&](Transaction& transaction) { found = TableExists(transaction, table); });
    return found;
}

// With a key, as the installer's tables have: a table of a taken id fails at once.
void Make(Database& database, const std::string& table) {
    RunInOwnTransaction(database, [&](Transaction& transaction) {
        RunStatement(transaction, "create table " + table + " (ID integer not null primary key)");
    });
}

TEST(TableIds, AnIdAnInterruptedCreateLeftIsSkippedSoTheNextTableIsMade) {
    TestDatabase file;
    ASSERT_TRUE(CutACreateTableShort(file));
    Database database("");
    database.SetDatabaseName(file.Path());
    database.SetParams({"SYSDBA", "x"});
    database.Open();
    EXPECT_THROW(Make(database, "REFUSED"), EFirebirdError);
    SkipTableIdsOfInterruptedCreates(database);
    EXPECT_EQ(file.QueryCount(TakenIds), 0);
    EXPECT_NO_THROW(Make(database, "NEXT_ONE"));
    EXPECT_TRUE(Exists(database, "NEXT_ONE"));
    EXPECT_FALSE(Exists(database, "NORVANE$TABLE_ID_PROBE"));
    // Nothing left to skip: nothing is made.
    SkipTableIdsOfInterruptedCreates(database);
    EXPECT_EQ(file.QueryCount("select count(*) from RDB$RELATIONS where RDB$SYSTEM_FLAG = 0"), 1);
}

// A run cut off between making its probe table and dropping it left the probe behind.
TEST(TableIds, AProbeACutOffRunLeftIsDroppedFirst) {
    TestDatabase file;
    file.Execute("create table NORVANE$TABLE_ID_PROBE (ID integer not null primary key);");
    ASSERT_TRUE(CutACreateTableShort(file));
    Database database("");
    database.SetDatabaseName(file.Path());
    database.SetParams({"SYSDBA", "x"});
    database.Open();
    SkipTableIdsOfInterruptedCreates(database);
    EXPECT_EQ(file.QueryCount(TakenIds), 0);
    EXPECT_FALSE(Exists(database, "NORVANE$TABLE_ID_PROBE"));
    EXPECT_NO_THROW(Make(database, "NEXT_ONE"));
}

// Skipping an id makes a table: a user who may not make one is told which right it lacks,
// after a few tries, and the ids stay as they were.
TEST(TableIds, AUserWhoMayNotMakeTablesIsToldTheRight) {
    TestDatabase file;
    ASSERT_TRUE(CutACreateTableShort(file));
    const std::int64_t taken = file.QueryCount(TakenIds);
    Database clerk("");
    clerk.SetDatabaseName(file.Path());
    clerk.SetParams({"CLERK", ""});
    clerk.Open();
    try {
        SkipTableIdsOfInterruptedCreates(clerk);
        ADD_FAILURE() << "the ids were skipped without the right to make a table";
    } catch (const EFirebirdError& error) {
        EXPECT_FALSE(error.IsFatal()) << error.what();
        EXPECT_EQ(MissingRight(error), "CREATE TABLE") << error.what();
    }
    EXPECT_EQ(file.QueryCount(TakenIds), taken);
}

} // namespace
} // namespace norvane::db
