#include "update/script_executor.h"

#include "base/exceptions.h"
#include "support/expect_throw.h"
#include "update_fixture.h"

#include <algorithm>
#include <filesystem>

namespace norvane::update {
namespace {

class ScriptExecutorTest : public UpdateFixture {
protected:
    // The failures of the script; its log is then in lastLog.
    int Run(const std::string& path) {
        const ScriptRun run = ExecuteScript(Context(), path, std::chrono::steady_clock::now());
        lastLog = run.log;
        return run.failures;
    }

    std::string lastLog = "(not run)";

    std::size_t CountEvents(std::string_view prefix) const {
        return static_cast<std::size_t>(
            std::count_if(window.Events().begin(), window.Events().end(),
                          [&](const std::string& event) { return event.starts_with(prefix); }));
    }
};

TEST_F(ScriptExecutorTest, CreatesObjectsRowsAndAProcedureThroughSetTerm) {
    const std::string script =
        Write("255.01.sql", "SET SQL DIALECT 3;\r\n"
                            "SET NAMES WIN1251;\r\n"
                            "CREATE TABLE T (\r\n"
                            "    ID INTEGER NOT NULL PRIMARY KEY,\r\n"
                            "    NAME VARCHAR(20)\r\n"
                            ");\r\n"
                            "\r\n"
                            "SET TERM ^ ;\r\n"
                            "CREATE PROCEDURE ADD_ROW (A INTEGER)\r\n"
                            "AS\r\n"
                            "BEGIN\r\n"
                            "  INSERT INTO T (ID, NAME) VALUES (:A, 'p');\r\n"
                            "END^\r\n"
                            "SET TERM ; ^\r\n"
                            "INSERT INTO T (ID, NAME) VALUES (1, 'one');\n"
                            "EXECUTE PROCEDURE ADD_ROW(2);\r"
                            "CREATE GENERATOR G1;\r\n"
                            "SET GENERATOR G1 TO 100;\r\n"
                            "UPDATE T\r\n"
                            "SET NAME = 'first'\r\n"
                            "WHERE ID = 1;\r\n"
                            "COMMIT WORK;");
    EXPECT_EQ(Run(script), 0);
    EXPECT_EQ(database.QueryCount("select count(*) from T"), 2);
    EXPECT_EQ(database.QueryString("select NAME from T where ID = 1"), "first");
    EXPECT_EQ(database.QueryString("select NAME from T where ID = 2"), "p");
    EXPECT_EQ(database.QueryCount("select gen_id(G1, 0) from rdb$database"), 100);
    EXPECT_EQ(lastLog, script + ".log");
    EXPECT_FALSE(std::filesystem::exists(lastLog));
    EXPECT_FALSE(globDB->Transaction().Active());
}

TEST_F(ScriptExecutorTest, FailureIsLoggedAndRolledBackWhileEarlierWorkStays) {
    database.Execute("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY);");
    const std::string script = Write("255.02.sql", "INSERT INTO T VALUES (1);\r\n"
                                                   "SET TERM ^ ;\r\n"
                                                   "EXECUTE BLOCK AS\r\n"
                                                   "BEGIN\r\n"
                                                   "  INSERT INTO T VALUES (5);\r\n"
                                                   "  INSERT INTO T VALUES (1);\r\n"
                                                   "END^\r\n"
                                                   "SET TERM ; ^\r\n"
                                                   "  INSERT INTO T\r\n"
                                                   "\r\n"
                                                   "  VALUES (2);\r\n"
                                                   "DROP TABLE NO_SUCH_TABLE;\r\n");
    EXPECT_EQ(Run(script), 2);
    EXPECT_EQ(database.QueryCount("select count(*) from T"), 2);
    EXPECT_EQ(database.QueryCount("select count(*) from T where ID = 5"), 0);
    EXPECT_FALSE(globDB->Transaction().Active());

    // Each failure: its lines with CR LF, then the client's message between separators.
    const std::string log = testing::ReadFile(script + ".log");
    const std::string separator(Separator);
    const std::string block = "EXECUTE BLOCK AS\r\nBEGIN\r\nINSERT INTO T VALUES (5);\r\n"
                              "INSERT INTO T VALUES (1);\r\nEND\r\n" +
                              separator + "\r\n";
    ASSERT_TRUE(log.starts_with(block)) << log;
    const std::size_t second = log.find("DROP TABLE NO_SUCH_TABLE\r\n" + separator + "\r\n");
    ASSERT_NE(second, std::string::npos) << log;
    const std::string firstMessage =
        log.substr(block.size(), log.find("\r\n" + separator, block.size()) - block.size());
    EXPECT_NE(firstMessage.find("PRIMARY or UNIQUE KEY"), std::string::npos) << firstMessage;
    EXPECT_EQ(log.substr(0, second),
              LogEntryBytes(block.substr(0, block.find(separator)), firstMessage));
    EXPECT_TRUE(log.ends_with("\r\n" + separator + "\r\n\r\n"));
    EXPECT_NE(log.find("NO_SUCH_TABLE", second + 30), std::string::npos);
}

// A selectable procedure does its work as its rows are fetched: a failure at a later row undoes
// what the earlier rows did, grouped or not, and the script goes on.
TEST_F(ScriptExecutorTest, ASelectThatFailsWhileFetchingLeavesNothingOfItsProcedure) {
    database.Execute("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY);");
    for (const GroupPolicy policy : {GroupPolicy::Grouped(), GroupPolicy::OnePerStep()}) {
        SCOPED_TRACE(policy.OneByOne() ? "one by one" : "grouped");
        database.Execute("DELETE FROM T;");
        Context().Groups = policy;
        const std::string script = Write(
            "255.03.sql", "INSERT INTO T VALUES (1);\r\n"
                          "SET TERM ^ ;\r\n"
                          "CREATE OR ALTER PROCEDURE ROWS_THEN_FAIL RETURNS (N INTEGER) AS\r\n"
                          "BEGIN\r\n"
                          "  INSERT INTO T VALUES (10);\r\n"
                          "  N = 1; SUSPEND;\r\n"
                          "  INSERT INTO T VALUES (11);\r\n"
                          "  N = 1 / 0; SUSPEND;\r\n"
                          "END^\r\n"
                          "SET TERM ; ^\r\n"
                          "SELECT N FROM ROWS_THEN_FAIL;\r\n"
                          "INSERT INTO T VALUES (2);\r\n");
        EXPECT_EQ(Run(script), 1);
        EXPECT_EQ(database.QueryCount("select count(*) from T where ID in (1, 2)"), 2);
        EXPECT_EQ(database.QueryCount("select count(*) from T where ID >= 10"), 0);
        const std::string log = testing::ReadFile(lastLog);
        EXPECT_TRUE(log.starts_with("SELECT N FROM ROWS_THEN_FAIL\r\n" + std::string(Separator)))
            << log;
        EXPECT_NE(log.find("divide by zero"), std::string::npos) << log;
        EXPECT_FALSE(globDB->Transaction().Active());
    }
}

TEST_F(ScriptExecutorTest, UnterminatedLastStatementIsLoggedNotRun) {
    database.Execute("CREATE TABLE T (ID INTEGER);");
    const std::string script =
        Write("a.sql", "INSERT INTO T VALUES (1);\r\n  INSERT INTO T\r\n\r\n  VALUES (2)\r\n");
    EXPECT_EQ(Run(script), 1);
    EXPECT_EQ(database.QueryCount("select count(*) from T"), 1);
    EXPECT_EQ(testing::ReadFile(script + ".log"),
              LogEntryBytes("INSERT INTO T\r\nVALUES (2)\r\n", UnterminatedStatementMessage));
}

TEST_F(ScriptExecutorTest, TerminatorAloneSubmitsAnEmptyStatementThatFails) {
    const std::string script = Write("a.sql", ";\n");
    EXPECT_EQ(Run(script), 1);
    const std::string log = testing::ReadFile(script + ".log");
    EXPECT_TRUE(log.starts_with(std::string(Separator) + "\r\n")) << log;
}

TEST_F(ScriptExecutorTest, EmptyScriptTouchesNothing) {
    const std::string script = Write("a.sql", "");
    testing::WriteFile(script + ".log", "old");
    ui::ProgressBar bar(window);
    bar.SetMax(10);
    const std::size_t events = window.Events().size();
    EXPECT_EQ(Run(script), 0);
    EXPECT_EQ(lastLog, "");
    EXPECT_EQ(testing::ReadFile(script + ".log"), "old");
    EXPECT_EQ(window.Events().size(), events);
    EXPECT_EQ(window.PumpCount(), 0);
}

TEST_F(ScriptExecutorTest, LogOfAnEarlierRunIsDeleted) {
    const std::string script = Write("a.sql", "SELECT 1 FROM RDB$DATABASE;\n");
    testing::WriteFile(script + ".log", "old");
    EXPECT_EQ(Run(script), 0);
    EXPECT_FALSE(std::filesystem::exists(script + ".log"));
}

TEST_F(ScriptExecutorTest, AdvancesThePumpsAndEstimatesPerLine) {
    // Seven lines: two SET lines, five ordinary ones (a blank one among them).
    const std::string script = Write("a.sql", "SET NAMES WIN1251;\n"
                                              "SELECT 1\n"
                                              "\n"
                                              "FROM RDB$DATABASE;\n"
                                              "SET TERM ^ ;\n"
                                              "SELECT 2 FROM RDB$DATABASE^\n"
                                              "SELECT 3 FROM RDB$DATABASE^");
    ui::ProgressBar bar(window);
    ui::Label timeLabel(window, ui::Control::lUpdateTime);
    bar.SetMax(100);
    bar.SetPosition(0);
    const std::size_t progressBefore = CountEvents("progress ");
    EXPECT_EQ(Run(script), 0);
    EXPECT_EQ(bar.Position(), 7);
    EXPECT_EQ(CountEvents("progress ") - progressBefore, 7u);
    EXPECT_EQ(CountEvents("caption lUpdateTime="), 5u);
    EXPECT_EQ(window.PumpCount(), 7);
    const std::string caption = window.Caption(ui::Control::lUpdateTime);
    ASSERT_EQ(caption.size(), 8u);
    EXPECT_EQ(caption[2], ':');
    EXPECT_EQ(caption[5], ':');
}

TEST_F(ScriptExecutorTest, TerminatorStartsAsSemicolonInEveryScript) {
    database.Execute("CREATE TABLE T (ID INTEGER);");
    EXPECT_EQ(Run(Write("a.sql", "SET TERM ^ ;\nINSERT INTO T VALUES (1)^\n")), 0);
    EXPECT_EQ(Run(Write("b.sql", "INSERT INTO T VALUES (2);\n")), 0);
    EXPECT_EQ(database.QueryCount("select count(*) from T"), 2);
}

TEST_F(ScriptExecutorTest, ScriptBytesReachTheDatabaseUnconverted) {
    database.Execute("CREATE TABLE T (S VARCHAR(10) CHARACTER SET OCTETS);");
    EXPECT_EQ(Run(Write("a.sql", "INSERT INTO T VALUES ('\xcf\xf0\xe8\xe2\xb3\xf2');\n")), 0);
    EXPECT_EQ(database.QueryCount("select octet_length(S) from T"), 6);
    EXPECT_EQ(database.QueryCount("select count(*) from T where S = x'CFF0E8E2B3F2'"), 1);
}

// What a script leaves behind, checked through isql-fb after the executor has run it.
struct ScriptCase {
    const char* name;
    std::string script;
    /// select → its first value as isql prints it.
    std::vector<std::pair<std::string, std::string>> values;
    /// The failed statements as logged, in order.
    std::vector<std::string> failed = {};
    /// A part of the first failure's message.
    std::string message = {};
    /// Run through isql-fb before the script.
    std::string setup = "CREATE TABLE T (ID INTEGER, A INTEGER, S VARCHAR(200));";
};

void PrintTo(const ScriptCase& c, std::ostream* out) {
    *out << c.name;
}

// The (record, message) pairs of an update log.
std::vector<std::pair<std::string, std::string>> LogEntries(const std::string& log) {
    const std::string open = std::string(Separator) + "\r\n";
    const std::string close = "\r\n" + open + "\r\n";
    std::vector<std::pair<std::string, std::string>> entries;
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t message = log.find(open, at);
        const std::size_t end = log.find(close, message);
        if (message == std::string::npos || end == std::string::npos)
            break;
        entries.emplace_back(log.substr(at, message - at),
                             log.substr(message + open.size(), end - message - open.size()));
        at = end + close.size();
    }
    return entries;
}

// Each case is run with its statements committed in groups and with a transaction each: the
// outcome is the same.
class ScriptCaseTest : public UpdateFixture,
                       public ::testing::WithParamInterface<std::tuple<ScriptCase, bool>> {};

TEST_P(ScriptCaseTest, LeavesTheDatabaseAndLogAsExpected) {
    const ScriptCase& c = std::get<0>(GetParam());
    if (!c.setup.empty())
        database.Execute(c.setup);
    if (std::get<1>(GetParam()))
        Context().Groups = GroupPolicy::OnePerStep();
    const std::string script = Write("a.sql", c.script);
    EXPECT_EQ(ExecuteScript(Context(), script, std::chrono::steady_clock::now()).failures,
              static_cast<int>(c.failed.size()));
    for (const auto& [select, value] : c.values)
        EXPECT_EQ(database.QueryString(select).value_or("<null>"), value) << select;

    if (c.failed.empty()) {
        EXPECT_FALSE(std::filesystem::exists(script + ".log"));
        return;
    }
    const auto entries = LogEntries(testing::ReadFile(script + ".log"));
    std::vector<std::string> records;
    for (const auto& entry : entries)
        records.push_back(entry.first);
    EXPECT_EQ(records, c.failed);
    ASSERT_FALSE(entries.empty());
    EXPECT_NE(entries[0].second.find(c.message), std::string::npos) << entries[0].second;
}

const std::string Count = "select count(*) from T";
const std::string TwoRows =
    "INSERT INTO T (ID, A) VALUES (5, 0); INSERT INTO T (ID, A) VALUES (6, 0);";
const std::string Setup = ScriptCase{}.setup;
// A CR LF inside a literal, as the server compares it.
const std::string CrLf = "' || ascii_char(13) || ascii_char(10) || '";

INSTANTIATE_TEST_SUITE_P(
    Scripts, ScriptCaseTest,
    ::testing::Combine(
        ::testing::Values(
            // Statement assembly as scripts have always been written.
            ScriptCase{"MultiLineTable",
                       "CREATE TABLE X (\r\n A INTEGER\r\n );\r\n",
                       {{"select count(*) from rdb$relations where rdb$relation_name = 'X'", "1"}}},
            ScriptCase{"TerminatorOnItsOwnLine",
                       "CREATE TABLE X (A INTEGER)\r\n;\r\n",
                       {{"select count(*) from rdb$relations where rdb$relation_name = 'X'", "1"}}},
            ScriptCase{"ProcedureThroughSetTerm",
                       "SET TERM ^ ;\r\nCREATE PROCEDURE P RETURNS (R INTEGER) AS\r\nBEGIN\r\n"
                       "  R = 7;\r\n  SUSPEND;\r\nEND^\r\nSET TERM ; ^\r\n"
                       "INSERT INTO T (ID) SELECT R FROM P;\r\n",
                       {{"select ID from T", "7"}}},
            ScriptCase{"SetClauseLineInsideAnUpdate",
                       "UPDATE T\r\nSET A = 1\r\nWHERE ID = 6;\r\n",
                       {{"select ID from T where A = 1", "6"}, {Count, "2"}},
                       {},
                       "",
                       Setup + TwoRows},
            ScriptCase{"SetClauseEndsTheUpdate",
                       "UPDATE T\r\nSET A = 1;\r\nINSERT INTO T (ID, A) VALUES (7, 0);\r\n",
                       {{"select count(*) from T where A = 1", "2"}, {Count, "3"}},
                       {},
                       "",
                       Setup + TwoRows},
            ScriptCase{"SetGeneratorIsExecuted",
                       "CREATE GENERATOR G1;\r\nSET GENERATOR G1 TO 100;\r\n",
                       {{"select gen_id(G1, 0) from rdb$database", "100"}}},
            ScriptCase{"ClientSetCommandsAreSkipped",
                       "SET SQL DIALECT 3;\r\nSET NAMES WIN1251;\r\nset autoddl on;\r\n",
                       {}},
            ScriptCase{
                "CommitWork", "INSERT INTO T (ID) VALUES (1);\r\nCOMMIT WORK;\r\n", {{Count, "1"}}},
            ScriptCase{"StatementsShareALineEachInItsTransaction",
                       "INSERT INTO T (ID) VALUES (1); INSERT INTO NO_SUCH (ID) VALUES (2);  "
                       "INSERT INTO T (ID) VALUES (3) ;\r\n",
                       {{Count, "2"}, {"select sum(ID) from T", "4"}},
                       {"INSERT INTO NO_SUCH (ID) VALUES (2)\r\n"},
                       "NO_SUCH"},
            ScriptCase{
                "TerminatorStartsALineWithMoreAfterIt",
                "SET TERM ^ ;\r\nEXECUTE BLOCK AS BEGIN\r\n  INSERT INTO T (ID) VALUES (1);\r\n"
                "END\r\n^ SET TERM ; ^\r\nINSERT INTO T (ID) VALUES (2);\r\n",
                {{Count, "2"}}},
            ScriptCase{
                "SetTermNamingNothingRestoresTheSemicolon",
                "set term ^;\r\nEXECUTE BLOCK AS BEGIN INSERT INTO T (ID) VALUES (1); END^\r\n"
                "set term ^;\r\nINSERT INTO T (ID) VALUES (2);\r\nset term ;\r\n"
                "INSERT INTO T (ID) VALUES (3);\r\n",
                {{Count, "3"}}},
            ScriptCase{
                "StatementAfterASetCommand",
                "set list on; INSERT INTO T (ID) VALUES (1);\r\nSET NAMES UTF8; SET TERM ^ ; "
                "EXECUTE BLOCK AS BEGIN INSERT INTO T (ID) VALUES (2); END^ SET TERM ; ^\r\n",
                {{Count, "2"}}},
            // The client's own commands other than SET reach the server, which refuses them.
            ScriptCase{"ShowAndQuitAreLoggedNotRun",
                       "SHOW TABLES;\r\nINSERT INTO T (ID) VALUES (1);\r\nQUIT;\r\n"
                       "INSERT INTO T (ID) VALUES (2);\r\n",
                       {{Count, "2"}},
                       {"SHOW TABLES\r\n", "QUIT\r\n"},
                       "Token unknown"},
            ScriptCase{
                "TerminatorAloneSubmitsAnEmptyStatement", ";\r\n", {}, {""}, "end of command"},
            ScriptCase{
                "SetTermWithoutTheOldTerminatorNamesItsOwn",
                "SET TERM ^\r\nEXECUTE BLOCK AS BEGIN\r\n  INSERT INTO T (ID) VALUES (1);\r\n"
                "END^\r\nSET TERM ; ^\r\nINSERT INTO T (ID) VALUES (2);\r\n",
                {{Count, "2"}}},
            ScriptCase{"LowerCaseSetTerm",
                       "set term ^ ;\r\nINSERT INTO T (ID) VALUES (1)^\r\n",
                       {{Count, "1"}}},
            ScriptCase{"UnterminatedLastStatementIsLoggedNotRun",
                       "INSERT INTO T (ID) VALUES (1);\r\nINSERT INTO T (ID)\r\nVALUES (2)\r\n",
                       {{Count, "1"}},
                       {"INSERT INTO T (ID)\r\nVALUES (2)\r\n"},
                       std::string(UnterminatedStatementMessage)},
            // Comments, literals and terminators as authors write them.
            ScriptCase{"TerminatorInALineComment",
                       "-- old value;\r\nINSERT INTO T (ID) VALUES (1);\r\n",
                       {{Count, "1"}}},
            ScriptCase{
                "TerminatorInALicenceHeader",
                "/*\r\n * Licensed under the Public Licence (the \"License\");\r\n"
                " * you may not use this file except in compliance with the License.\r\n */\r\n"
                "INSERT INTO T (ID) VALUES (1);\r\n",
                {{Count, "1"}}},
            ScriptCase{"CommentedOutStatements",
                       "/* set echo on;\r\nINSERT INTO T (ID) VALUES (99);\r\n*/\r\n"
                       "INSERT INTO T (ID) VALUES (1);\r\n",
                       {{Count, "1"}, {"select ID from T", "1"}}},
            ScriptCase{"CommentedOutWhereUpdatesOneRow",
                       "UPDATE T SET A = 1\r\n-- WHERE ID = 5;\r\nWHERE ID = 6;\r\n",
                       {{"select count(*) from T where A = 1", "1"},
                        {"select ID from T where A = 1", "6"}},
                       {},
                       "",
                       Setup + TwoRows},
            ScriptCase{
                "CommentAfterTheTerminator",
                "INSERT INTO T (ID) VALUES (1); -- the first\r\nINSERT INTO T (ID) VALUES (2); "
                "/* x; */\r\n",
                {{Count, "2"}}},
            ScriptCase{"LiteralOverLinesKeepsItsText",
                       "INSERT INTO T (ID, S) VALUES (1, 'first;\r\n\r\n   third ;\r\nit''s');\r\n",
                       {{"select count(*) from T where S = 'first;" + CrLf + CrLf + "   third ;" +
                             CrLf + "it''s'",
                         "1"}}},
            ScriptCase{"QLiteral",
                       "INSERT INTO T (ID, S) VALUES (1, q'#a;\r\nb ;#');\r\n",
                       {{"select count(*) from T where S = 'a;" + CrLf + "b ;'", "1"}}},
            ScriptCase{
                "MultiCharacterTerminator",
                "SET TERM !! ;\r\nCREATE PROCEDURE P AS\r\nBEGIN\r\n  INSERT INTO T (ID) VALUES "
                "(1);\r\n"
                "END !!\r\nCREATE TRIGGER T_BI FOR T BEFORE INSERT AS\r\nBEGIN\r\n  NEW.A = 5;\r\n"
                "END !!\r\nSET TERM ; !!\r\nEXECUTE PROCEDURE P;\r\n",
                {{"select count(*) from T where A = 5", "1"}}},
            ScriptCase{
                "SetLineAfterAComment",
                "/* Release 255 */\r\nSET SQL DIALECT 3;\r\nINSERT INTO T (ID) VALUES (1);\r\n",
                {{Count, "1"}}},
            ScriptCase{"TrailingCommentIsNoStatement",
                       "INSERT INTO T (ID) VALUES (1);\r\n-- end of script\r\n",
                       {{Count, "1"}}},
            ScriptCase{"ParameterMarkerIsNeverBound",
                       "INSERT INTO T (ID, S) VALUES (?, 'x');\r\n",
                       {{Count, "0"}},
                       {"INSERT INTO T (ID, S) VALUES (?, 'x')\r\n"},
                       "Wrong number of parameters (expected 1, got 0)"},
            ScriptCase{"SetStatisticsIsSentToTheServer",
                       "SET STATISTICS INDEX IX_T;\r\nSET STATISTICS INDEX NO_SUCH_INDEX;\r\n",
                       {},
                       {"SET STATISTICS INDEX NO_SUCH_INDEX\r\n"},
                       "NO_SUCH_INDEX",
                       Setup + "CREATE INDEX IX_T ON T (ID);"},
            ScriptCase{"SelectFromAProcedureFetchesEveryRow",
                       "SELECT R FROM P;\r\n",
                       {{Count, "2"}},
                       {},
                       "",
                       Setup + "set term ^ ;\ncreate procedure P returns (R integer) as begin "
                               "insert into T (ID) values (1); R = 1; suspend; "
                               "insert into T (ID) values (2); R = 2; suspend; end^\nset term ; ^"},
            ScriptCase{
                "NulByteKeepsTheScriptFromRunning",
                std::string(
                    "INSERT INTO T (ID) VALUES (1);\r\nINSERT INTO T (ID) VALUES (2);\0\r\n", 64),
                {{Count, "0"}},
                {""},
                "NUL byte at line 2: script not run"},
            ScriptCase{"ByteOrderMarkIsDropped",
                       "\xEF\xBB\xBF"
                       "INSERT INTO T (ID) VALUES (1);\r\n",
                       {{Count, "1"}}}),
        ::testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) ? "_OneByOne" : "");
    });

TEST_F(ScriptExecutorTest, UnreadableScriptRaisesItsFileError) {
    const std::string missing = folder / "missing.sql";
    EXPECT_THROW_MSG(Run(missing), EFOpenError, testing::MissingFileMessage(missing));
    EXPECT_FALSE(std::filesystem::exists(missing + ".log"));
}

} // namespace
} // namespace norvane::update
