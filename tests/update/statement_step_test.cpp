#include "update/statement_step.h"

#include "base/exceptions.h"
#include "db/statement.h"
#include "support/expect_throw.h"
#include "update_fixture.h"

#include <filesystem>
#include <functional>

namespace norvane::update {
namespace {

class StatementStepTest : public UpdateFixture {
protected:
    StatementStepTest() { database.Execute("create table T (ID integer);"); }

    // A step that inserts a row and then meets what fail does.
    StepResult Run(const std::function<void()>& fail) {
        return RunLoggedStep(
            Context(), Log(),
            [&] {
                Execute("insert into T values (1)");
                fail();
            },
            [] { return std::string("insert into T values (1)\r\n"); });
    }
    void Execute(const std::string& sql) {
        db::Statement statement(Context().GlobDB.GetDatabase(), db::Parameters::Raw);
        statement.SetSql(sql);
        statement.Execute();
    }
    // What the step left committed, as another attachment sees it.
    std::int64_t Rows() {
        if (Context().GlobDB.Transaction().Active())
            Context().GlobDB.Transaction().Commit();
        return database.QueryCount("select count(*) from T");
    }
    std::string Log() const { return folder / "255.01.sql.log"; }
};

TEST_F(StatementStepTest, AStepThatEndsIsCommitted) {
    EXPECT_EQ(Run([] {}), StepResult::Done);
    EXPECT_EQ(Rows(), 1);
    EXPECT_FALSE(std::filesystem::exists(Log()));
}

TEST_F(StatementStepTest, ClientFileAndStepErrorsAreLoggedAndRolledBack) {
    struct Case {
        const char* what;
        std::function<void()> fail;
        std::string message;
    };
    const Case cases[] = {
        {"client", [this] { Execute("insert into NO_SUCH values (1)"); },
         "Dynamic SQL Error\nSQL error code = -204\nTable unknown\nNO_SUCH\nAt line 1, column 13"},
        {"file", [] { throw EFOpenError("Cannot open file \"T.B.ID 1.blo\". Access denied"); },
         "Cannot open file \"T.B.ID 1.blo\". Access denied"},
        {"step", [] { throw EStepFailed("no row with (ID=1) in T"); }, "no row with (ID=1) in T"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(Log());
        EXPECT_EQ(Run(c.fail), StepResult::Failed);
        EXPECT_EQ(Rows(), 0);
        EXPECT_EQ(testing::ReadFile(Log()),
                  LogEntryBytes("insert into T values (1)\r\n", c.message));
    }
}

TEST_F(StatementStepTest, AFaultOfTheProgramIsNoFailedStatement) {
    // It goes on up to the error display; the step's work is undone and nothing is logged.
    const auto expectNothingLeft = [this] {
        EXPECT_FALSE(Context().GlobDB.Transaction().Active());
        EXPECT_EQ(Rows(), 0);
        EXPECT_FALSE(std::filesystem::exists(Log()));
    };
    EXPECT_THROW_MSG(Run([] { throw EMisuse("The transaction is not active"); }), EMisuse,
                     "The transaction is not active");
    expectNothingLeft();
    EXPECT_THROW_MSG(Run([] { throw EConvertError("'x' is not a valid integer value"); }),
                     EConvertError, "'x' is not a valid integer value");
    expectNothingLeft();
}

} // namespace
} // namespace norvane::update
