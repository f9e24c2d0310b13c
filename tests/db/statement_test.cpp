#include "db/statement.h"

#include "db/database.h"
#include "db/firebird_error.h"
#include "db/transaction.h"
#include "support/expect_throw.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace norvane::db {
namespace {

using testing::TestDatabase;

// An attachment of the test process to a test database, its transaction started.
struct Session {
    explicit Session(const TestDatabase& file) : database(""), transaction(database) {
        database.SetDatabaseName(file.Path());
        database.SetParams({"SYSDBA", "x"});
        database.Open();
        database.SetDefaultTransaction(&transaction);
        transaction.StartTransaction();
    }
    Database database;
    Transaction transaction;
};

std::span<const std::byte> Bytes(const std::string& text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

TEST(Statement, NamedMarkersAreBoundByNameOutsideLiteralsAndComments) {
    TestDatabase file;
    file.Execute("create table t (id integer, s varchar(40), u varchar(40));");
    struct Case {
        const char* sql;
        std::vector<std::pair<const char*, const char*>> values;
        const char* stored; // s|u of the row
        std::vector<const char*> noMarkers;
    };
    const Case cases[] = {
        // Names are compared without case.
        {"insert into t (id, s) values (:ID, :Name)",
         {{"name", "first"}, {"ID", "7"}},
         "first|",
         {}},
        {"insert into t /* :not_this */ (id, s) -- nor :this\r\nvalues (:ID, 'a:b '' :c')",
         {{"id", "7"}},
         "a:b ' :c|",
         {"not_this", "this", "c", "b"}},
        // A marker ends where its name does.
        {"insert into t values (:ID+0, :S||'', 'x'':y')", {{"ID", "7"}, {"s", "a"}}, "a|x':y", {}},
        // A minus, a slash and a quoted name are no comment and no literal.
        {"insert into \"T\" (\"ID\", s, u) values (:ID - 0, 6 / 2, :U)",
         {{"ID", "7"}, {"U", "u"}},
         "3|u",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        file.Execute("delete from t;");
        Session session(file);
        Statement insert(session.database, Parameters::Named);
        insert.SetSql(c.sql);
        for (const auto& [name, value] : c.values)
            insert.SetStringParam(name, value);
        for (const char* name : c.noMarkers)
            EXPECT_THROW_MSG(insert.SetStringParam(name, "x"), EMisuse,
                             "Parameter " + std::string(name) + " not found");
        insert.Execute();
        session.transaction.Commit();
        EXPECT_EQ(file.QueryString("select s || '|' || coalesce(u, '') from t where id = 7"),
                  c.stored);
    }
}

TEST(Statement, SelectFetchesRowsAndTypedValues) {
    TestDatabase file;
    file.Execute("create table t (i integer, n numeric(9,2), c char(5), v varchar(5), d double "
                 "precision, ts timestamp);\n"
                 "insert into t values (1, 254.99, 'ab', 'cd', 1.5, '2011-06-01');\n"
                 "insert into t values (null, null, null, null, null, null);");
    Session session(file);
    Statement select(session.database, Parameters::Named);
    select.SetSql("select * from t order by i nulls last");
    select.Execute();
    ASSERT_TRUE(select.Fetch());
    EXPECT_EQ(select.FieldCount(), 6u);
    EXPECT_EQ(select.FieldIndex("TS"), 5u);
    const auto n = std::get<ScaledInteger>(select.Field(1));
    EXPECT_EQ(n.value, 25499);
    EXPECT_EQ(n.scale, -2);
    EXPECT_EQ(std::get<std::string>(select.Field(2)), "ab");
    EXPECT_EQ(std::get<std::string>(select.Field(3)), "cd");
    EXPECT_EQ(std::get<double>(select.Field(4)), 1.5);
    EXPECT_EQ(std::get<Unsupported>(select.Field(5)).typeName, "TIMESTAMP");
    ASSERT_TRUE(select.Fetch());
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_TRUE(std::holds_alternative<Null>(select.Field(i))) << i;
    EXPECT_FALSE(select.Fetch());
    // A column the table lacks is the database's doing, not the program's.
    EXPECT_THROW_MSG(select.FieldIndex("ts"), Exception, "Column ts not found");
    EXPECT_THROW_MSG(select.Field(6), EMisuse, "Column index 6 out of range");
}

TEST(Statement, RawModeLeavesColonsInProcedureBodies) {
    TestDatabase file;
    file.Execute("create table t (x integer);");
    Session session(file);
    Statement create(session.database, Parameters::Raw);
    create.SetSql("create procedure p (a integer) returns (b integer) as\r\n"
                  "begin\r\n  b = :a * 2;\r\n  insert into t values (:b);\r\n  suspend;\r\nend");
    create.Execute();
    session.transaction.Commit();
    session.transaction.StartTransaction();
    Statement call(session.database, Parameters::Raw);
    call.SetSql("execute procedure p(21)");
    call.Execute();
    ASSERT_TRUE(call.Fetch());
    EXPECT_EQ(std::get<ScaledInteger>(call.Field(0)).value, 42);
    session.transaction.Commit();
    EXPECT_EQ(file.QueryCount("select x from t"), 42);
}

TEST(Statement, BlobRoundTripsOneMegabyte) {
    TestDatabase file;
    file.Execute(
        "create table t (id integer, b blob sub_type 0);\ninsert into t values (1, null);");
    std::string bytes(1 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 16384) & 0xFF);
    Session session(file);
    Statement update(session.database, Parameters::Named);
    update.SetSql("update t set b = :B where id = 1");
    update.SetBlobParam("B", Bytes(bytes));
    update.Execute();
    session.transaction.Commit();

    EXPECT_EQ(file.QueryCount("select octet_length(b) from t"), 1 << 20);
    EXPECT_EQ(file.QueryBlob("select b from t"), bytes);
}

TEST(Statement, EmptyBytesStoreAnEmptyBlobNotNull) {
    TestDatabase file;
    file.Execute(
        "create table t (id integer, b blob sub_type 0);\ninsert into t values (1, null);");
    Session session(file);
    Statement update(session.database, Parameters::Named);
    update.SetSql("update t set b = :B where id = 1");
    update.SetBlobParam("b", {});
    update.Execute();
    session.transaction.Commit();

    EXPECT_EQ(file.QueryCount("select count(*) from t where b is not null"), 1);
    EXPECT_EQ(file.QueryBlob("select b from t"), "");
}

TEST(Statement, UnknownParameterNameIsAnError) {
    TestDatabase file;
    file.Execute("create table t (b blob);");
    Session session(file);
    Statement insert(session.database, Parameters::Named);
    insert.SetSql("insert into t values (:B)");
    EXPECT_THROW_MSG(insert.SetBlobParam("C", {}), EMisuse, "Parameter C not found");
    EXPECT_THROW_MSG(insert.SetStringParam("b", std::string(0x8000, 'x')), EMisuse,
                     "The value of parameter b is too long");
}

} // namespace
} // namespace norvane::db

namespace norvane::db {
namespace {

TEST(Statement, CursorEndedByCommitDoesNotBreakTheNextStatement) {
    TestDatabase file;
    file.Execute(
        "create table t (x integer);\ninsert into t values (1);\ninsert into t values (2);");
    Session session(file);
    Statement statement(session.database, Parameters::Raw);
    statement.SetSql("select x from t");
    statement.Execute();
    ASSERT_TRUE(statement.Fetch());
    session.transaction.Commit();
    session.transaction.StartTransaction();
    statement.SetSql("insert into t values (3)");
    statement.Execute();
    session.transaction.Commit();
    EXPECT_EQ(file.QueryCount("select count(*) from t"), 3);
}

TEST(Statement, TypesThisLayerDoesNotReadAreNamed) {
    TestDatabase file;
    Session session(file);
    Statement select(session.database, Parameters::Raw);
    select.SetSql("select current_date, current_time, current_timestamp, true from rdb$database");
    select.Execute();
    ASSERT_TRUE(select.Fetch());
    const char* names[] = {"DATE", "TIME", "TIMESTAMP", "BOOLEAN"};
    for (std::size_t i = 0; i < std::size(names); ++i)
        EXPECT_EQ(std::get<Unsupported>(select.Field(i)).typeName, names[i]);
}

// The script runner groups statements by the kind the engine reports.
TEST(Statement, ReportsTheKindOfStatementTheEngineSees) {
    TestDatabase file;
    file.Execute("create table t (x integer);\ncreate sequence g;\n"
                 "set term ^ ;\ncreate procedure p as begin end^\nset term ; ^");
    Session session(file);
    const std::pair<const char*, StatementType> cases[] = {
        {"select x from t", StatementType::Select},
        {"select x from t for update", StatementType::SelectForUpdate},
        {"insert into t values (1)", StatementType::Insert},
        {"update t set x = 2", StatementType::Update},
        {"delete from t", StatementType::Delete},
        {"create table u (y integer)", StatementType::Ddl},
        {"execute procedure p", StatementType::ExecProcedure},
        {"set generator g to 5", StatementType::SetGenerator},
        {"savepoint s1", StatementType::Savepoint},
        {"set transaction", StatementType::StartTransaction},
        {"commit", StatementType::Commit},
        {"rollback", StatementType::Rollback},
        {"update or insert into t (x) values (3) matching (x)", StatementType::Insert},
        {"execute block as begin end", StatementType::ExecProcedure},
    };
    Statement statement(session.database, Parameters::Named);
    for (const auto& [sql, type] : cases) {
        statement.SetSql(sql);
        EXPECT_THROW_MSG(statement.Type(), EMisuse, "The statement is not prepared");
        EXPECT_EQ(statement.FieldCount(), 0u) << sql;
        statement.Prepare();
        EXPECT_EQ(statement.Type(), type) << sql;
    }
}

// A select for update is a cursor like any select, its rows read one by one.
TEST(Statement, ASelectForUpdateIsReadRowByRow) {
    TestDatabase file;
    file.Execute(
        "create table t (x integer);\ninsert into t values (1);\ninsert into t values (2);");
    Session session(file);
    Statement select(session.database, Parameters::Raw);
    select.SetSql("select x from t order by x for update");
    select.Execute();
    std::vector<std::int64_t> rows;
    while (select.Fetch())
        rows.push_back(std::get<ScaledInteger>(select.Field(0)).value);
    EXPECT_EQ(rows, (std::vector<std::int64_t>{1, 2}));
}

TEST(Statement, RepeatedNameFillsEveryMarkerAndUnsetIsNull) {
    TestDatabase file;
    file.Execute("create table t (a integer, b integer, c integer);");
    Session session(file);
    Statement insert(session.database, Parameters::Named);
    insert.SetSql("insert into t values (:V, :W, :v)");
    insert.SetStringParam("V", "5");
    insert.Execute();
    session.transaction.Commit();
    EXPECT_EQ(file.QueryCount("select count(*) from t where a = 5 and c = 5 and b is null"), 1);
}

TEST(Statement, ManyColumnsAreDescribedInFull) {
    TestDatabase file;
    Session session(file);
    std::string columns;
    for (int i = 0; i < 40; ++i)
        columns += (i ? ", " : "") + std::to_string(i) + " as c" + std::to_string(i);
    Statement select(session.database, Parameters::Raw);
    select.SetSql("select " + columns + " from rdb$database");
    select.Execute();
    ASSERT_TRUE(select.Fetch());
    ASSERT_EQ(select.FieldCount(), 40u);
    EXPECT_EQ(select.FieldIndex("C39"), 39u);
    EXPECT_EQ(std::get<ScaledInteger>(select.Field(39)).value, 39);
}

TEST(Statement, ClientErrorCarriesEveryStatusLine) {
    TestDatabase file;
    Session session(file);
    Statement select(session.database, Parameters::Raw);
    select.SetSql("select * from no_such_table");
    try {
        select.Execute();
        FAIL() << "no error";
    } catch (const EFirebirdError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("Dynamic SQL Error\nSQL error code = -204\n"), std::string::npos)
            << message;
        EXPECT_NE(message.find("NO_SUCH_TABLE"), std::string::npos) << message;
        // The vector is full, its SQLSTATE dropped, but no message lost an argument.
        EXPECT_TRUE(message.ends_with("\nAt line 1, column 15")) << message;
        EXPECT_EQ(error.SqlCode(), -204);
    }
}

// Each EXECUTE STATEMENT level adds a message to the chain, so three levels overflow the
// legacy API's vector in the middle of a message, where the client would print
// "<Missing arg #1 - possibly status vector overflow>".
TEST(Statement, ErrorCutShortByTheStatusVectorEndsWithANote) {
    TestDatabase file;
    file.Execute("create table parent (id integer not null primary key);\n"
                 "create table child (id integer, pid integer references parent (id));\n"
                 "set term ^ ;\n"
                 "create procedure es2 as begin insert into child values (1, 99); end^\n"
                 "create procedure es1 as begin execute statement 'execute procedure es2'; end^\n"
                 "create procedure es0 as begin execute statement 'execute procedure es1'; end^\n"
                 "set term ; ^");
    Session session(file);
    Statement call(session.database, Parameters::Raw);
    call.SetSql("execute procedure es0");
    try {
        call.Execute();
        FAIL() << "no error";
    } catch (const EFirebirdError& error) {
        const std::string message = error.what();
        EXPECT_TRUE(message.starts_with("violation of FOREIGN KEY constraint")) << message;
        // The line counts from the body's first line break, which the test database's
        // statements keep on one system and not on the other.
        EXPECT_NE(message.find("\nAt procedure 'ES2' line: "), std::string::npos) << message;
        EXPECT_TRUE(message.ends_with("\n" + std::string(CutShortNote))) << message;
        EXPECT_EQ(message.find("<Missing arg"), std::string::npos) << message;
    }
}

TEST(Statement, CountsTheRowsAnExecutionChanged) {
    TestDatabase file;
    file.Execute(
        "create table t (x integer);\ninsert into t values (1);\ninsert into t values (2);");
    Session session(file);
    Statement statement(session.database, Parameters::Raw);
    const std::pair<const char*, std::int64_t> cases[] = {
        {"update t set x = x + 10", 2},  {"update t set x = 0 where x = 99", 0},
        {"insert into t values (3)", 1}, {"delete from t where x = 3", 1},
        {"select x from t", 0},          {"create table u (y integer)", 0}};
    for (const auto& [sql, rows] : cases) {
        statement.SetSql(sql);
        statement.Execute();
        EXPECT_EQ(statement.RowsAffected(), rows) << sql;
        // Only a select has rows to read.
        EXPECT_EQ(statement.Fetch(), std::string_view(sql).starts_with("select")) << sql;
    }
}

// Text that ends inside a comment or a literal is passed on as it is: the engine judges it.
TEST(Statement, NamedTextEndingInACommentOrLiteralIsTheEnginesToJudge) {
    TestDatabase file;
    file.Execute("create table t (x integer, s varchar(5));");
    Session session(file);
    Statement statement(session.database, Parameters::Named);
    statement.SetSql("insert into t values (:X, 'a') -- :Y is not a marker");
    statement.SetStringParam("X", "1");
    EXPECT_THROW_MSG(statement.SetStringParam("Y", "2"), EMisuse, "Parameter Y not found");
    statement.Execute();
    statement.SetSql("insert into t values (:X, 'b') /* :Y unterminated");
    EXPECT_THROW_CONTAINING(statement.Execute(), EFirebirdError, "Unexpected end of command");
    statement.SetSql("insert into t values (:X, ':Y)");
    EXPECT_THROW_CONTAINING(statement.Execute(), EFirebirdError, "Unexpected end of command");
    session.transaction.Commit();
    EXPECT_EQ(file.QueryCount("select count(*) from t"), 1);
}

// A "?" among named markers keeps its place: the names bind the markers they stand at.
TEST(Statement, ABareMarkerAmongNamedOnesStaysNull) {
    TestDatabase file;
    file.Execute("create table t (a varchar(5), b varchar(5), c varchar(5));");
    Session session(file);
    Statement insert(session.database, Parameters::Named);
    insert.SetSql("insert into t values (:A, ?, :C)");
    insert.SetStringParam("A", "a");
    insert.SetStringParam("C", "c");
    insert.Execute();
    session.transaction.Commit();
    EXPECT_EQ(file.QueryCount("select count(*) from t where a = 'a' and b is null and c = 'c'"), 1);
}

// A script's procedure body can pass the 64 KiB a length field holds: it is sent whole.
TEST(Statement, AStatementLongerThanSixtyFourKilobytesIsSentWhole) {
    TestDatabase file;
    file.Execute("create table t (s varchar(10));");
    Session session(file);
    const std::string filler(70000, 'x');
    Statement insert(session.database, Parameters::Named);
    insert.SetSql("insert into t values (:S) /* " + filler + " */");
    insert.SetStringParam("S", "tail");
    insert.Execute();
    session.transaction.Commit();
    EXPECT_EQ(file.QueryString("select s from t"), "tail");
}

// Bytes given to a text parameter arrive as the text.
TEST(Statement, BytesBoundToATextParameterArriveAsText) {
    TestDatabase file;
    file.Execute("create table t (n varchar(5), s varchar(10));");
    Session session(file);
    Statement insert(session.database, Parameters::Named);
    insert.SetSql("insert into t values (:N, :S)");
    insert.SetStringParam("N", "one");
    const std::string text = "bytes";
    insert.SetBlobParam("S", Bytes(text));
    insert.Execute();
    session.transaction.Commit();
    EXPECT_EQ(file.QueryString("select n || ':' || s from t"), "one:bytes");
}

TEST(Statement, RawTextBindsNoParameter) {
    TestDatabase file;
    file.Execute("create table t (x integer, s varchar(5));");
    Session session(file);
    Statement insert(session.database, Parameters::Raw);
    insert.SetSql("insert into t values (?, 'x')");
    EXPECT_THROW_CONTAINING(insert.Execute(), EFirebirdError,
                            "Wrong number of parameters (expected 1, got 0)");
    session.transaction.Commit();
    EXPECT_EQ(file.QueryCount("select count(*) from t"), 0);
}

TEST(Statement, NeedsAnActiveTransaction) {
    TestDatabase file;
    Session session(file);
    session.transaction.Commit();
    Statement select(session.database, Parameters::Raw);
    select.SetSql("select 1 from rdb$database");
    EXPECT_THROW_MSG(select.Execute(), EMisuse, "The transaction is not active");
    EXPECT_THROW_MSG(select.RowsAffected(), EMisuse, "The statement is not prepared");
}

TEST(Database, CloseCommitsTheDefaultTransaction) {
    TestDatabase file;
    file.Execute("create table t (x integer);");
    Session session(file);
    Statement insert(session.database, Parameters::Raw);
    insert.SetSql("insert into t values (1)");
    insert.Execute();
    session.database.Close();
    EXPECT_FALSE(session.database.Connected());
    EXPECT_FALSE(session.transaction.Active());
    EXPECT_EQ(file.QueryCount("select count(*) from t"), 1);
    // A default transaction already ended is left as it is.
    session.database.Open();
    session.database.Close();
    EXPECT_FALSE(session.database.Connected());
}

// Dropping a database ends its default transaction first: its work goes with the file.
TEST(Database, DropRollsTheDefaultTransactionBack) {
    TestDatabase file;
    file.Execute("create table t (x integer);");
    Session session(file);
    Statement insert(session.database, Parameters::Raw);
    insert.SetSql("insert into t values (1)");
    insert.Execute();
    session.database.Drop();
    EXPECT_FALSE(session.transaction.Active());
    EXPECT_FALSE(session.database.Connected());
    EXPECT_FALSE(std::filesystem::exists(file.Path()));
    // Closing what is no longer open is nothing.
    EXPECT_NO_THROW(session.database.Close());
}

TEST(Database, DestroyingAnAttachmentRollsBack) {
    TestDatabase file;
    file.Execute("create table t (x integer);");
    {
        Session session(file);
        Statement insert(session.database, Parameters::Raw);
        insert.SetSql("insert into t values (1)");
        insert.Execute();
    }
    EXPECT_EQ(file.QueryCount("select count(*) from t"), 0);
}

TEST(Database, AnOverlongAccountValueIsRefusedBeforeAttaching) {
    TestDatabase file;
    Database database("");
    database.SetDatabaseName(file.Path());
    database.SetParams({"SYSDBA", std::string(256, 'p')});
    EXPECT_THROW_MSG(database.Open(), EMisuse, "A connection parameter is longer than 255 bytes");
    EXPECT_FALSE(database.Connected());
}

TEST(Database, MisusesAreNamed) {
    TestDatabase file;
    Session session(file);
    EXPECT_THROW_MSG(session.database.Open(), EMisuse,
                     "The database " + file.Path() + " is already open");
    Database other("");
    Transaction foreign(other);
    EXPECT_THROW_MSG(session.database.SetDefaultTransaction(&foreign), EMisuse,
                     "The transaction belongs to another database");
    EXPECT_THROW_MSG(foreign.StartTransaction(), EMisuse, "The database is not connected");
    Statement untransacted(session.database, Parameters::Raw);
    session.database.SetDefaultTransaction(nullptr);
    untransacted.SetSql("select 1 from rdb$database");
    EXPECT_THROW_MSG(untransacted.Execute(), EMisuse, "The database has no default transaction");
    EXPECT_THROW_MSG(other.ReadOnly(), EMisuse, "The database  is not open");
    EXPECT_THROW_MSG(other.Drop(), EMisuse, "The database  is not open");
    EXPECT_NO_THROW(other.Close());
    other.SetDatabaseName(std::string(32768, 'd'));
    EXPECT_THROW_MSG(other.Open(), EMisuse, "The database name is too long");
    Statement unattached(other, Parameters::Raw);
    unattached.SetSql("select 1 from rdb$database");
    EXPECT_THROW_MSG(unattached.Execute(), EMisuse, "The database is not connected");
}

TEST(Transaction, StartTwiceOrEndInactiveIsMisuse) {
    TestDatabase file;
    Session session(file);
    EXPECT_THROW_MSG(session.transaction.StartTransaction(), EMisuse,
                     "The transaction is already active");
    session.transaction.Rollback();
    EXPECT_THROW_MSG(session.transaction.Commit(), EMisuse, "The transaction is not active");
    EXPECT_THROW_MSG(session.transaction.Rollback(), EMisuse, "The transaction is not active");
}

// A transaction runs in the mode it was started in: changing the mode or the wait for locks
// counts only from its next start.
TEST(Transaction, KnowsWhetherItRunsInTheModeItIsNowGiven) {
    TestDatabase file;
    Session session(file);
    Transaction transaction(session.database, TransactionMode::ReadCommittedWait);
    EXPECT_FALSE(transaction.StartedInCurrentMode());
    transaction.StartTransaction();
    EXPECT_TRUE(transaction.StartedInCurrentMode());
    transaction.SetLockTimeout(std::chrono::seconds(5));
    EXPECT_FALSE(transaction.StartedInCurrentMode());
    transaction.Commit();
    transaction.StartTransaction();
    EXPECT_TRUE(transaction.StartedInCurrentMode());
    transaction.SetMode(TransactionMode::ReadCommittedNoWait);
    EXPECT_FALSE(transaction.StartedInCurrentMode());
    transaction.Rollback();
    transaction.StartTransaction();
    // No wait has no timeout to give: the one set is left out.
    EXPECT_TRUE(transaction.StartedInCurrentMode());
    transaction.SetLockTimeout(std::chrono::seconds(9));
    EXPECT_TRUE(transaction.StartedInCurrentMode());
}

} // namespace
} // namespace norvane::db
