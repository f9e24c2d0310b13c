// Statements that meet a row another connection holds uncommitted, on the loopback server: the
// update waits for it a slice at a time, and a request to end or the wait's limit stops it.
#include "base/exceptions.h"
#include "platform/interrupt.h"
#include "support/expect_throw.h"
#include "support/row_holder.h"
#include "support/test_server.h"
#include "update/blob_loader.h"
#include "update/script_executor.h"
#include "update_fixture.h"

#include <algorithm>
#include <chrono>
#include <memory>

namespace norvane::update {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view Waiting = "очікування: рядок заблоковано іншим з'єднанням…";

// The package's update of row 1 stands between two inserts: in a group, the insert before it
// shares its transaction.
constexpr std::string_view Script = "INSERT INTO RUNS VALUES (1);\r\n"
                                    "UPDATE HELD SET V = 'package', N = N + 1 WHERE ID = 1;\r\n"
                                    "INSERT INTO RUNS VALUES (2);\r\n";

class LockWaitTest : public testing::WithTestServer<UpdateFixture>,
                     public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        WithTestServer::SetUp();
        if (IsSkipped())
            return;
        // A request an earlier test made outlives its guard.
        platform::ClearInterrupt();
        database.Execute("CREATE TABLE HELD (ID INTEGER NOT NULL PRIMARY KEY, V VARCHAR(20),"
                         " N INTEGER, B BLOB SUB_TYPE 0);"
                         "INSERT INTO HELD VALUES (1, 'site', 0, NULL);"
                         "CREATE TABLE RUNS (N INTEGER);");
        server = Server();
        if (GetParam())
            Context().Groups = GroupPolicy::OnePerStep();
        holder = std::make_unique<testing::RowHolder>(
            Server() + ":" + database.Path(), "UPDATE HELD SET V = 'holder' WHERE ID = 1", 15s);
    }

    ScriptRun Run() {
        const std::string path = Write("a.sql", Script);
        return ExecuteScript(Context(), path, std::chrono::steady_clock::now());
    }

    // Calls action on the pump that comes after the memo said the update waits, and as many
    // pumps later as given: each pump between two tries of the statement.
    void OnWaitingPump(int pumpsLater, std::function<void()> action) {
        window.OnPump = [this, pumpsLater, action, seen = -1]() mutable {
            if (seen < 0 && !window.MemoLines().empty() && window.MemoLines().back() == Waiting)
                seen = 0;
            if (seen >= 0 && seen++ == pumpsLater)
                action();
        };
    }

    // A run stopped while it waited: the insert before the statement is committed, the
    // statement and what follows not run, the wait said once.
    void ExpectStoppedAtTheHeldStatement() {
        EXPECT_FALSE(holder->EndedAtDeadline());
        EXPECT_FALSE(globDB->Transaction().Active());
        holder->Rollback();
        EXPECT_EQ(Runs(), "1");
        EXPECT_EQ(Held(), "site 0");
        EXPECT_EQ(WaitingLines(), 1) << window.MemoText();
    }

    long WaitingLines() const {
        const auto lines = window.MemoLines();
        return std::count(lines.begin(), lines.end(), std::string(Waiting));
    }
    std::string Held() {
        return *database.QueryString("select V || ' ' || N from HELD where ID = 1");
    }
    std::string Runs() {
        return database
            .QueryString(
                "select cast(list(N, ',') as varchar(100)) from (select N from RUNS order by N)")
            .value_or("");
    }

    std::unique_ptr<testing::RowHolder> holder;
};

TEST_P(LockWaitTest, WaitsUntilTheOtherTransactionCommitsThenRunsTheStatementOnce) {
    OnWaitingPump(2, [this] { holder->Commit(); });
    const auto start = std::chrono::steady_clock::now();
    const ScriptRun run = Run();
    EXPECT_FALSE(holder->EndedAtDeadline()) << "the statement never gave up waiting";
    EXPECT_EQ(run.failures, 0) << testing::ReadFile(folder / "a.sql.log");
    EXPECT_EQ(WaitingLines(), 1) << window.MemoText();
    // Three tries of a second at least: the statement kept waiting, the memo said it once.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(Held(), "package 1");
    EXPECT_EQ(Runs(), "1,2");
    EXPECT_FALSE(globDB->Transaction().Active());
}

TEST_P(LockWaitTest, ARequestToEndStopsTheWaitAndKeepsWhatWasDone) {
    platform::InterruptGuard guard;
    OnWaitingPump(1, [] { platform::RequestInterrupt(); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW_MSG(Run(), EUpdateAborted, "оновлення перервано");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 12s);
    ExpectStoppedAtTheHeldStatement();
}

TEST_P(LockWaitTest, AWaitPastTheLimitStopsTheUpdateAndNamesTheStatement) {
    Context().LockWaits.limit = 3s;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW_CHECKED(Run(), EUpdateAborted, [&](const std::string& message) {
        EXPECT_EQ(message, "рядок заблоковано іншим з'єднанням понад 3 с: інструкцію не виконано, "
                           "оновлення зупинено; наступний запуск виконає її");
    });
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 3s);
    EXPECT_LT(waited, 12s);
    ExpectStoppedAtTheHeldStatement();
    const std::string log = testing::ReadFile(folder / "a.sql.log");
    EXPECT_TRUE(log.starts_with("UPDATE HELD SET V = 'package', N = N + 1 WHERE ID = 1\r\n" +
                                std::string(Separator)))
        << log;
}

TEST_P(LockWaitTest, ABlobFileWaitsForItsRowToo) {
    OnWaitingPump(1, [this] { holder->Rollback(); });
    const std::string path = Write("HELD.B.ID 1.blo", "blob bytes");
    BlobLoader loader(Context());
    EXPECT_EQ(loader.LoadBlobFile(path, folder / "blob.log"), BlobLoad::Loaded);
    loader.Commit();
    EXPECT_FALSE(holder->EndedAtDeadline());
    EXPECT_EQ(WaitingLines(), 1) << window.MemoText();
    EXPECT_EQ(database.QueryBlob("select B from HELD where ID = 1"), "blob bytes");
    EXPECT_EQ(Held(), "site 0");
}

INSTANTIATE_TEST_SUITE_P(Commits, LockWaitTest, ::testing::Bool(), [](const auto& info) {
    return info.param ? "OneTransactionPerStatement" : "Grouped";
});

} // namespace
} // namespace norvane::update
