#include "update/script_executor.h"

#include "update_fixture.h"

#include <algorithm>
#include <filesystem>

namespace norvane::update {
namespace {

class ScriptExecutorTest : public UpdateFixture {
protected:
    int Run(const std::string& path, ui::ProgressBar* bar = nullptr,
            ui::Label* timeLabel = nullptr) {
        return ExecuteScript(Context(), path, bar, std::chrono::steady_clock::now(), timeLabel);
    }

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
    EXPECT_EQ(logFile, script + ".log");
    EXPECT_FALSE(std::filesystem::exists(logFile));
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
    const std::string separator(LogSeparator);
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
    EXPECT_TRUE(log.starts_with(std::string(LogSeparator) + "\r\n")) << log;
}

TEST_F(ScriptExecutorTest, EmptyScriptTouchesNothing) {
    logFile = "earlier.log";
    const std::string script = Write("a.sql", std::string_view("\0INSERT INTO X;", 15));
    testing::WriteFile(script + ".log", "old");
    ui::ProgressBar bar(window);
    bar.SetMax(10);
    const std::size_t events = window.Events().size();
    EXPECT_EQ(Run(script, &bar), 0);
    EXPECT_EQ(logFile, "earlier.log");
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
    EXPECT_EQ(Run(script, &bar, &timeLabel), 0);
    EXPECT_EQ(bar.Position(), 7);
    EXPECT_EQ(CountEvents("progress ") - progressBefore, 7u);
    EXPECT_EQ(CountEvents("caption lUpdateTime="), 5u);
    EXPECT_EQ(window.PumpCount(), 7);
    const std::string caption = window.Caption(ui::Control::lUpdateTime);
    ASSERT_EQ(caption.size(), 8u);
    EXPECT_EQ(caption[2], ':');
    EXPECT_EQ(caption[5], ':');
}

TEST_F(ScriptExecutorTest, WithoutABarNeitherBarNorTimeLabelIsTouched) {
    const std::string script = Write("a.sql", "SELECT 1 FROM RDB$DATABASE;\nSET TERM ^ ;\n");
    ui::Label timeLabel(window, ui::Control::lUpdateTime);
    const std::size_t events = window.Events().size();
    EXPECT_EQ(Run(script, nullptr, &timeLabel), 0);
    EXPECT_EQ(window.Events().size(), events);
    EXPECT_EQ(window.PumpCount(), 2);
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

TEST_F(ScriptExecutorTest, UnreadableScriptRaises) {
    std::filesystem::create_directory(folder / "dir.sql");
    EXPECT_ANY_THROW(Run(folder / "dir.sql"));
    EXPECT_ANY_THROW(Run(folder / "missing.sql"));
}

} // namespace
} // namespace norvane::update
