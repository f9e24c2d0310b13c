#include "db/glob_db.h"

#include "db/statement.h"
#include "platform/paths.h"
#include "support/expect_throw.h"
#include "support/test_database.h"
#include "support/test_server.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace norvane::db {
namespace {

using testing::TestDatabase;
using testing::TestServer;

// Local files only: an engine in the process writes its pages directly.
const ConnectionParams DefaultAccount{"sysdba", "quillbark", true};

void RunSql(CGlobDB& globDb, const std::string& sql) {
    Statement statement(globDb.GetDatabase(), Parameters::Raw);
    statement.SetSql(sql);
    statement.Execute();
}

using CGlobDBServer = testing::WithTestServer<>;

TEST(CGlobDB, ConstructorWithPathAttachesLocalFileWithDefaultAccount) {
    TestDatabase file;
    CGlobDB globDb("/opt/app", "", file.Path());
    EXPECT_TRUE(globDb.GetDatabase().Connected());
    EXPECT_TRUE(globDb.Transaction().Active());
    EXPECT_EQ(globDb.GetDatabase().DatabaseName(), file.Path());
    EXPECT_EQ(globDb.GetDatabase().Params(), DefaultAccount);
    EXPECT_EQ(globDb.GetDatabase().EffectiveDialect(), 3);
    EXPECT_EQ(globDb.GetDatabase().DefaultTransaction(), &globDb.Transaction());
}

TEST(CGlobDB, ConstructorWithBlankPathDoesNotAttach) {
    CGlobDB globDb("/opt/app", "localhost", " \t ");
    EXPECT_FALSE(globDb.GetDatabase().Connected());
    EXPECT_FALSE(globDb.Transaction().Active());
}

struct NameCase {
    const char* server;
    const char* path;
    std::string expected;
};

// Every path here is missing, so the attach fails after the name is built; the name the
// client was given stays readable.
TEST(CGlobDB, DatabaseNameForms) {
    // The file beside the program is joined with the system's separator.
    const std::string besideProgram = JoinPath("/nonexistent/app", "vuvavari.fdb");
    const NameCase cases[] = {
        {"", "/nonexistent/x.fdb", "/nonexistent/x.fdb"},
        {" \tlocalhost\t ", "/nonexistent/x.fdb", "localhost:/nonexistent/x.fdb"},
        {" \t ", "/nonexistent/x.fdb", "/nonexistent/x.fdb"},
        {"", "  ", besideProgram},
        {"localhost", "\t", "localhost:" + besideProgram},
        {"localhost", " /nonexistent/x.fdb", "localhost: /nonexistent/x.fdb"},
    };
    CGlobDB globDb("/nonexistent/app", "", "");
    for (const NameCase& c : cases) {
        SCOPED_TRACE(std::string("server '") + c.server + "' path '" + c.path + "'");
        EXPECT_THROW(globDb.Connect(c.server, c.path, "", ""), EFirebirdError);
        EXPECT_EQ(globDb.GetDatabase().DatabaseName(), c.expected);
        EXPECT_FALSE(globDb.GetDatabase().Connected());
        EXPECT_FALSE(globDb.Transaction().Active());
    }
}

TEST(CGlobDB, DefaultPasswordOnlyWithDefaultUser) {
    CGlobDB globDb("/nonexistent/app", "", "");
    EXPECT_THROW(globDb.Connect("", "/nonexistent/x.fdb", "", "given"), EFirebirdError);
    EXPECT_EQ(globDb.GetDatabase().Params(), DefaultAccount);
    EXPECT_THROW(globDb.Connect("", "/nonexistent/x.fdb", "bob", ""), EFirebirdError);
    EXPECT_EQ(globDb.GetDatabase().Params(), (ConnectionParams{"bob", "", true}));
}

// An engine in the installer's process dies with it, also in the middle of a page write; a
// server's does not.
TEST(CGlobDB, PagesAreWrittenDirectlyOnlyByAnEngineInTheProcess) {
    CGlobDB globDb("/nonexistent/app", "", "");
    EXPECT_THROW(globDb.Connect("", "/nonexistent/x.fdb", "", ""), EFirebirdError);
    EXPECT_TRUE(globDb.GetDatabase().Params().DirectPageWrites);
    EXPECT_THROW(globDb.Connect("127.0.0.1/1", "/nonexistent/x.fdb", "", ""), EFirebirdError);
    EXPECT_FALSE(globDb.GetDatabase().Params().DirectPageWrites);
}

TEST(CGlobDB, BlankPathOpensVuvavariBesideTheProgram) {
    TestDatabase file(3, "vuvavari.fdb");
    CGlobDB globDb(file.Folder(), "", "");
    globDb.Connect("", " ", "", "");
    EXPECT_EQ(globDb.GetDatabase().DatabaseName(), file.Path());
    EXPECT_TRUE(globDb.Transaction().Active());
}

TEST(CGlobDB, ReconnectCommitsTheActiveTransaction) {
    TestDatabase file;
    file.Execute("create table t (x integer);");
    CGlobDB globDb("/opt/app", "", file.Path());
    RunSql(globDb, "insert into t values (1)");
    globDb.Connect("", file.Path(), "", "");
    EXPECT_TRUE(globDb.Transaction().Active());
    EXPECT_EQ(file.QueryCount("select count(*) from t"), 1);
}

TEST(CGlobDB, AttachFailureLeavesEarlierAttachmentClosed) {
    TestDatabase file;
    file.Execute("create table t (x integer);");
    CGlobDB globDb("/opt/app", "", file.Path());
    RunSql(globDb, "insert into t values (1)");
    EXPECT_THROW(globDb.Connect("", "/nonexistent/x.fdb", "", ""), EFirebirdError);
    EXPECT_FALSE(globDb.GetDatabase().Connected());
    EXPECT_EQ(file.QueryCount("select count(*) from t"), 1);
}

TEST(CGlobDB, MissingFileErrorCarriesClientText) {
    CGlobDB globDb("/opt/app", "", "");
    try {
        globDb.Connect("", "/nonexistent/x.fdb", "", "");
        FAIL() << "no error";
    } catch (const EFirebirdError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("/nonexistent/x.fdb"), std::string::npos) << message;
        EXPECT_NE(message.find('\n'), std::string::npos) << "one line of several: " << message;
        EXPECT_NE(error.GdsCode(), 0);
    }
}

TEST(CGlobDB, DialectOneDatabaseRunsStatementsInDialectOne) {
    TestDatabase file(1);
    CGlobDB globDb("/opt/app", "", file.Path());
    EXPECT_EQ(globDb.GetDatabase().EffectiveDialect(), 1);
    // Dialect 1 divides integers into a double; dialect 3 keeps an integer.
    Statement division(globDb.GetDatabase(), Parameters::Raw);
    division.SetSql("select 3/2 from rdb$database");
    division.Execute();
    ASSERT_TRUE(division.Fetch());
    EXPECT_EQ(std::get<double>(division.Field(0)), 1.5);
}

TEST(CGlobDB, DialectThreeDatabaseKeepsIntegerDivision) {
    TestDatabase file(3);
    CGlobDB globDb("/opt/app", "", file.Path());
    Statement division(globDb.GetDatabase(), Parameters::Raw);
    division.SetSql("select 3/2 from rdb$database");
    division.Execute();
    ASSERT_TRUE(division.Fetch());
    EXPECT_EQ(std::get<ScaledInteger>(division.Field(0)).value, 1);
}

TEST_F(CGlobDBServer, AttachesThroughServerOnLoopback) {
    TestDatabase file;
    file.Execute("create table versions (update_date timestamp, data integer);\n"
                 "insert into versions values ('2011-06-01', 254);");
    CGlobDB globDb("/opt/app", "", "");
    globDb.Connect(" " + Server() + " ", file.Path(), "", "");
    EXPECT_EQ(globDb.GetDatabase().DatabaseName(), Server() + ":" + file.Path());
    EXPECT_EQ(globDb.GetVersion(), 254);
    EXPECT_TRUE(globDb.Transaction().Active());
}

TEST_F(CGlobDBServer, BlankPathWithServerOpensVuvavari) {
    TestDatabase file(3, "vuvavari.fdb");
    CGlobDB globDb(file.Folder(), "", "");
    globDb.Connect(Server(), "", "", "");
    EXPECT_EQ(globDb.GetDatabase().DatabaseName(), Server() + ":" + file.Path());
    EXPECT_TRUE(globDb.GetDatabase().Connected());
}

TEST_F(CGlobDBServer, WrongPasswordFailsWithClientText) {
    TestDatabase file;
    CGlobDB globDb("/opt/app", "", "");
    EXPECT_THROW_CONTAINING(globDb.Connect(Server(), file.Path(), "sysdba", "wrong"),
                            EFirebirdError, "user name and password are not defined");
    EXPECT_FALSE(globDb.GetDatabase().Connected());
    EXPECT_FALSE(globDb.Transaction().Active());
}

// The default password must not be combined with a given user: sysdba with an empty
// password is refused by the server even though sysdba/quillbark is valid there.
TEST_F(CGlobDBServer, GivenUserWithEmptyPasswordKeepsItEmpty) {
    TestDatabase file;
    CGlobDB globDb("/opt/app", "", "");
    EXPECT_THROW(globDb.Connect(Server(), file.Path(), "sysdba", ""), EFirebirdError);
    globDb.Connect(Server(), file.Path(), "", "");
    EXPECT_TRUE(globDb.GetDatabase().Connected());
}

} // namespace
} // namespace norvane::db
