#include "update/step_group.h"

#include "base/exceptions.h"
#include "platform/interrupt.h"
#include "support/expect_throw.h"
#include "update/script_executor.h"
#include "update_fixture.h"

#include <filesystem>

namespace norvane::update {
namespace {

// Scripts whose statements share a transaction: what each statement leaves is what it would
// leave in a transaction of its own.
class StepGroupTest : public UpdateFixture {
protected:
    StepGroupTest() {
        database.Execute("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, A INTEGER);");
    }

    ScriptRun Run(std::string_view text) {
        const std::string path = Write("a.sql", text);
        return ExecuteScript(Context(), path, std::chrono::steady_clock::now());
    }
    std::int64_t Rows(std::string_view where = "1 = 1") {
        return database.QueryCount("select count(*) from T where " + std::string(where));
    }
    std::string Log() { return testing::ReadFile(folder / "a.sql.log"); }
};

TEST_F(StepGroupTest, AFailingStatementInsideAGroupIsUndoneAloneAndLoggedAsAlone) {
    const std::string script = "INSERT INTO T VALUES (1, 0);\r\n"
                               "UPDATE T SET A = 7 WHERE ID = 1;\r\n"
                               "INSERT INTO T VALUES (1, 99);\r\n"
                               "INSERT INTO T VALUES (3, 0);\r\n";
    EXPECT_EQ(Run(script).failures, 1);
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Rows("ID = 1 AND A = 7"), 1);
    const std::string grouped = Log();
    EXPECT_TRUE(grouped.starts_with("INSERT INTO T VALUES (1, 99)\r\n" + std::string(Separator)))
        << grouped;

    // The same failure, one transaction a statement: the same bytes in the log.
    database.Execute("DELETE FROM T;");
    Context().Groups = GroupPolicy::OnePerStep();
    EXPECT_EQ(Run(script).failures, 1);
    EXPECT_EQ(Log(), grouped);
}

TEST_F(StepGroupTest, AScriptsRollbackUndoesNothingAnEarlierStatementDid) {
    EXPECT_EQ(Run("INSERT INTO T VALUES (1, 0);\r\n"
                  "INSERT INTO T VALUES (2, 0);\r\n"
                  "ROLLBACK WORK;\r\n"
                  "INSERT INTO T VALUES (3, 0);\r\n"
                  "ROLLBACK;\r\n")
                  .failures,
              0);
    EXPECT_EQ(Rows(), 3);
}

TEST_F(StepGroupTest, DdlSeesTheStatementsBeforeItAndTheOnesAfterItSeeIt) {
    EXPECT_EQ(Run("INSERT INTO T VALUES (1, 0);\r\n"
                  "INSERT INTO T VALUES (2, 0);\r\n"
                  "ALTER TABLE T ADD B INTEGER DEFAULT 5 NOT NULL;\r\n"
                  "UPDATE T SET B = ID * 10;\r\n"
                  "INSERT INTO T (ID, A, B) VALUES (3, 0, 30);\r\n"
                  "CREATE UNIQUE INDEX T_B ON T (B);\r\n"
                  "INSERT INTO T (ID, A, B) VALUES (4, 0, 30);\r\n")
                  .failures,
              1);
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(database.QueryCount("select sum(B) from T"), 60);
    EXPECT_NE(Log().find("INSERT INTO T (ID, A, B) VALUES (4, 0, 30)"), std::string::npos);
}

// A group whose commit fails is run again a statement a transaction: the failure lands on
// the statement that causes it, the others are kept.
TEST_F(StepGroupTest, AGroupWhoseCommitFailsIsRunAgainOneStatementATransaction) {
    database.Execute("CREATE EXCEPTION NO_THIRTEEN 'thirteen is not committed';"
                     "SET TERM ^ ;"
                     "CREATE TRIGGER T_COMMIT ON TRANSACTION COMMIT AS BEGIN "
                     "IF (EXISTS (SELECT 1 FROM T WHERE ID = 13)) THEN EXCEPTION NO_THIRTEEN; "
                     "END^"
                     "SET TERM ; ^");
    EXPECT_EQ(Run("INSERT INTO T VALUES (12, 0);\r\n"
                  "INSERT INTO T VALUES (13, 0);\r\n"
                  "INSERT INTO T VALUES (14, 0);\r\n")
                  .failures,
              1);
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(Rows("ID = 13"), 0);
    const std::string log = Log();
    EXPECT_TRUE(log.starts_with("INSERT INTO T VALUES (13, 0)\r\n" + std::string(Separator)))
        << log;
    EXPECT_NE(log.find("thirteen is not committed"), std::string::npos) << log;
    EXPECT_EQ(log.find("(12, 0)"), std::string::npos) << log;
}

// An interruption commits what the group did, then stops: nothing after the line it came in
// runs, and nothing before it is lost.
TEST_F(StepGroupTest, AnInterruptionCommitsTheGroupSoFarThenStops) {
    platform::InterruptGuard guard;
    int lines = 0;
    window.OnPump = [&] {
        if (++lines == 2)
            platform::RequestInterrupt();
    };
    EXPECT_THROW_MSG(Run("INSERT INTO T VALUES (1, 0);\r\n"
                         "INSERT INTO T VALUES (2, 0);\r\n"
                         "INSERT INTO T VALUES (3, 0);\r\n"),
                     EUpdateAborted, "оновлення перервано");
    EXPECT_FALSE(globDB->Transaction().Active());
    EXPECT_EQ(Rows(), 2);
    // The request would stop the tests that follow in this process.
    window.OnPump = nullptr;
    platform::ClearInterrupt();
}

} // namespace
} // namespace norvane::update
