// The real installer, unattended through the loopback server, meeting a row that another
// connection has updated and not committed: package 255 of packages/locks inserts RUNS 1,
// updates HELD row 1, then inserts RUNS 2.
#include "resume_fixture.h"
#include "support/row_holder.h"
#include "support/test_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace norvane::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view Waiting = "очікування: рядок заблоковано іншим з'єднанням…";

int Occurrences(const std::string& text, std::string_view part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class InstallerLockWaitTest : public WithTestServer<>,
                              public ::testing::WithParamInterface<Commits> {
protected:
    void SetUp() override {
        WithTestServer::SetUp();
        if (IsSkipped())
            return;
        product = std::make_unique<Product>(GetParam());
        product->UseServer(Server());
        product->Execute("create table HELD (ID integer not null primary key, V varchar(20),"
                         " N integer);"
                         "insert into HELD values (1, 'site', 0);");
    }

    // Another connection's uncommitted update of the row the package updates; an installer
    // that never gives up on it goes on once the deadline rolls it back.
    void HoldTheRow() {
        holder = std::make_unique<RowHolder>(Server() + ":" + product->DatabasePath(),
                                             "update HELD set V = 'holder' where ID = 1", 30s);
    }

    std::unique_ptr<ChildProcess> StartAndWaitForTheWait() {
        auto installer = product->Start();
        EXPECT_TRUE(installer->WaitForOutput(std::string(Waiting)))
            << installer->Out() << installer->Err();
        return installer;
    }

    // The package applied exactly once: its update on the row, each insert once.
    void ExpectAppliedOnce() {
        EXPECT_EQ(product->Count("select count(*) from versions where data = 255"), 1);
        EXPECT_EQ(product->Count("select count(*) from HELD where V = 'package' and N = 1"), 1);
        EXPECT_EQ(product->Count("select count(*) from RUNS where N = 1"), 1);
        EXPECT_EQ(product->Count("select count(*) from RUNS where N = 2"), 1);
    }

    std::unique_ptr<Product> product;
    std::unique_ptr<RowHolder> holder;
};

TEST_P(InstallerLockWaitTest, SaysItWaitsAndCompletesOnceTheRowIsCommitted) {
    HoldTheRow();
    auto installer = StartAndWaitForTheWait();
    // A few slices of the wait go by before the other connection commits.
    std::this_thread::sleep_for(2500ms);
    holder->Commit();
    ASSERT_TRUE(installer->EndsWithin(60s)) << installer->Out() << installer->Err();
    EXPECT_EQ(installer->Wait(), 0) << installer->Out() << installer->Err();
    EXPECT_FALSE(holder->EndedAtDeadline());
    EXPECT_EQ(Occurrences(installer->Out(), Waiting), 1) << installer->Out();
    ExpectAppliedOnce();
}

TEST_P(InstallerLockWaitTest, SigtermEndsTheWaitAndTheNextRunCompletesOnce) {
    HoldTheRow();
    auto installer = StartAndWaitForTheWait();
    installer->Signal(SIGTERM);
    ASSERT_TRUE(installer->EndsWithin(10s)) << installer->Out() << installer->Err();
    EXPECT_EQ(installer->Wait(), 2) << installer->Out() << installer->Err();
    EXPECT_EQ(installer->Err(), "error: оновлення перервано\n");
    EXPECT_FALSE(holder->EndedAtDeadline());
    holder->Rollback();
    // Nothing half done: the insert before the row is in, the update and the rest are not.
    EXPECT_EQ(product->Count("select count(*) from versions where data = 255"), 0);
    EXPECT_EQ(product->Count("select count(*) from HELD where V = 'site' and N = 0"), 1);
    EXPECT_EQ(product->Count("select count(*) from RUNS"), 1);

    EXPECT_EQ(product->Run(), 0) << product->LastOutput();
    ExpectAppliedOnce();
}

TEST_P(InstallerLockWaitTest, AWaitPastTheLimitStopsTheRunAndTheNextCompletesOnce) {
    product->UseLockWaitSeconds(3);
    HoldTheRow();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(product->Run(), 2) << product->LastOutput();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 25s) << "the limit did not stop the wait";
    EXPECT_NE(product->LastOutput().find(
                  "error: рядок заблоковано іншим з'єднанням понад 3 с: інструкцію не виконано, "
                  "оновлення зупинено; наступний запуск виконає її"),
              std::string::npos)
        << product->LastOutput();
    EXPECT_NE(product->History().find("помилка: рядок заблоковано іншим з'єднанням понад 3 с"),
              std::string::npos)
        << product->History();
    EXPECT_FALSE(holder->EndedAtDeadline());
    holder->Rollback();
    EXPECT_EQ(product->Count("select count(*) from HELD where V = 'site' and N = 0"), 1);

    EXPECT_EQ(product->Run(), 0) << product->LastOutput();
    ExpectAppliedOnce();
    EXPECT_EQ(Occurrences(product->LastOutput(), Waiting), 0) << product->LastOutput();
}

INSTANTIATE_TEST_SUITE_P(Commits, InstallerLockWaitTest,
                         ::testing::Values(Commits::Grouped, Commits::OnePerStatement),
                         [](const auto& info) {
                             return info.param == Commits::Grouped ? "Grouped"
                                                                   : "OneTransactionPerStatement";
                         });

} // namespace
} // namespace norvane::testing
