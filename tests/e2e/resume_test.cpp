// The real installer, carrying packages 255 and 256 of packages/resume, is killed (SIGKILL)
// at counted points of a real update from 254 (a commit of its own, a program file put in
// place, before or after either) and run again: every time, the database and the program
// folder end as an update that was never interrupted leaves them, byte for byte.
#include "resume_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace norvane::testing {
namespace {

TEST(ResumeReference, AnUninterruptedUpdateReachesTheNewestPackage) {
    const Reference& reference = UninterruptedRun();
    // 255.02.sql has a statement that always fails.
    EXPECT_EQ(reference.status, 3);
    EXPECT_NE(reference.database.find("DATA                            256"), std::string::npos)
        << reference.database;
    EXPECT_EQ(reference.programFolder.at("Norvanework.exe"), "Program 256\r\n");
    EXPECT_EQ(reference.programFolder.at("Report/a.fr3"), "template a of 255\r\n");
    EXPECT_EQ(reference.programFolder.count("norvane-update.logs/255/255.02.sql.log"), 1u);
    // 4 program files of 255, the kept log of 255.02.sql and 2 program files of 256.
    EXPECT_EQ(reference.renames, 7);
    // NORVANE$UPDATE_LOCK with NORVANE$UPDATE_JOURNAL, and NOKEY.
    EXPECT_EQ(reference.createTableWrites.size(), 2u);
}

// Statements sharing a transaction change when the work becomes durable, never what it is:
// the database, the files and the logs are those of a transaction for each statement.
TEST(ResumeReference, GroupedCommitsEndAsOneTransactionPerStatement) {
    const Reference& grouped = UninterruptedRun(Commits::Grouped);
    const Reference& oneByOne = UninterruptedRun(Commits::OnePerStatement);
    EXPECT_EQ(grouped.status, oneByOne.status);
    EXPECT_EQ(grouped.database, oneByOne.database);
    EXPECT_EQ(grouped.programFolder, oneByOne.programFolder);
    // A commit for each of the 59 statements that succeed, each blob file and the journal's
    // own work; far fewer when they share transactions.
    EXPECT_GT(oneByOne.commits, 62);
    EXPECT_LT(grouped.commits * 2, oneByOne.commits);
}

/// One point to cut a run at: a commit or a statement executed at a share of all the run's
/// (in fifteenths, or in eighths for statements), or the nth program file put in place;
/// before the call or after it returned.
struct KillPoint {
    std::string kind; // "COMMIT", "EXECUTE" or "RENAME"
    long index;
    std::string when; // "before" or "after"
    Commits commits;

    long Number(const Reference& reference) const {
        if (kind == "RENAME")
            return index;
        if (kind == "EXECUTE")
            return std::max(1L, reference.executes * index / 8);
        return std::max(1L, reference.commits * index / 15);
    }
};

void PrintTo(const KillPoint& point, std::ostream* out) {
    *out << point.kind << " " << point.index << " " << point.when
         << (point.commits == Commits::Grouped ? " grouped" : " one by one");
}

class KilledRunTest : public ::testing::TestWithParam<KillPoint> {};

TEST_P(KilledRunTest, ARerunEndsAsAnUninterruptedRun) {
    const KillPoint& point = GetParam();
    const Reference& reference = UninterruptedRun(point.commits);
    Product product(point.commits);
    const int killed =
        product.Run({"NORVANE_FAULT_" + point.kind + "=" + std::to_string(point.Number(reference)),
                     "NORVANE_FAULT_WHEN=" + point.when});
    ASSERT_EQ(killed, Killed) << product.LastOutput();

    // Updated (with the failures of 255.02.sql when it ran again), or nothing to do when the
    // run was cut after its last package was complete.
    const int rerun = product.Run();
    EXPECT_TRUE(rerun == 0 || rerun == 3 || rerun == 10) << rerun << "\n" << product.LastOutput();
    EXPECT_EQ(product.DatabaseState(), reference.database);
    EXPECT_EQ(product.ProgramFolder(), reference.programFolder);

    // The run is complete: nothing is left to do, and the killed run left no block of its own.
    EXPECT_EQ(product.Run(), 10) << product.LastOutput();
    EXPECT_EQ(product.HistoryBlocks(), 2);
}

// Points chosen by count over the whole run, in both ways of committing: commits spread from
// the run lock through every script, the blob files and the record of the complete package,
// each cut before and after the commit, so also between a group's last statement and its
// commit; statements spread over the run, cut inside a group; every program file and kept
// log put in place, before and after (the same in both ways, so once).
std::vector<KillPoint> KillPoints() {
    std::vector<KillPoint> points;
    for (const Commits commits : {Commits::Grouped, Commits::OnePerStatement}) {
        for (long fifteenth = 1; fifteenth <= 15; ++fifteenth) {
            points.push_back({"COMMIT", fifteenth, "before", commits});
            points.push_back({"COMMIT", fifteenth, "after", commits});
        }
    }
    for (long eighth = 1; eighth <= 8; ++eighth)
        points.push_back(
            {"EXECUTE", eighth, eighth % 2 == 0 ? "before" : "after", Commits::Grouped});
    for (long rename = 1; rename <= 7; ++rename) {
        points.push_back({"RENAME", rename, "before", Commits::Grouped});
        points.push_back({"RENAME", rename, "after", Commits::Grouped});
    }
    return points;
}

INSTANTIATE_TEST_SUITE_P(Points, KilledRunTest, ::testing::ValuesIn(KillPoints()),
                         [](const auto& info) {
                             return info.param.kind + std::to_string(info.param.index) + "_" +
                                    info.param.when +
                                    (info.param.commits == Commits::Grouped ? "" : "_OneByOne");
                         });

// The first issue of release 255 is cut off in its first script; the installer of its second
// issue, whose script has row 5 edited, row 7 removed and row 31 added, finishes the update.
// No statement applied by the first runs again, and every statement of the second that was
// not applied runs once: what the first applied of the edited and removed rows stays.
class ReissuedPackageTest : public ::testing::TestWithParam<long> {};

TEST_P(ReissuedPackageTest, RunsNoAppliedStatementTwiceAndEveryNewOneOnce) {
    Product product;
    const int killed = product.Run({"NORVANE_FAULT_COUNT_FROM=CREATE TABLE NOKEY",
                                    "NORVANE_FAULT_EXECUTE=" + std::to_string(GetParam()),
                                    "NORVANE_FAULT_WHEN=after"});
    ASSERT_EQ(killed, Killed) << product.LastOutput();
    product.ReplaceInstaller(NORVANE_REISSUED_INSTALLER);
    EXPECT_EQ(product.Run(), 3) << product.LastOutput();
    // The first run committed the CREATE TABLE with its record once two statements had run:
    // the record and the CREATE TABLE itself.
    if (GetParam() > 2) {
        EXPECT_NE(
            product.LastOutput().find("скрипт 255.01.sql змінився після перерваного оновлення"),
            std::string::npos)
            << product.LastOutput();
    }

    // 255.02.sql doubles N, marks the rows above 40 and deletes the one of row 1; 256 adds
    // its own rows from N 100 on.
    const auto count = [&](const std::string& where) {
        return product.Count("select count(*) from NOKEY where N < 100 and " + where);
    };
    for (int n = 2; n <= 30; ++n) {
        if (n == 5 || n == 7)
            continue;
        const std::string text = "row " + std::to_string(n) + (2 * n > 40 ? " x2" : "");
        EXPECT_EQ(count("N = " + std::to_string(2 * n) + " and T = '" + text + "'"), 1) << n;
    }
    EXPECT_EQ(count("N = 2"), 0);
    // The new and edited statements run where the rerun meets them: before 255.02.sql when the
    // cut came in 255.01.sql, after it when 255.02.sql had run already.
    EXPECT_EQ(count("T starting 'row 5 edited'"), 1);
    EXPECT_EQ(count("T starting 'row 31'"), 1);
    const auto firstIssueRow5 = count("T = 'row 5'");
    const auto firstIssueRow7 = count("T = 'row 7'");
    EXPECT_LE(firstIssueRow5, 1);
    EXPECT_LE(firstIssueRow7, 1);
    EXPECT_EQ(count("1 = 1"), 29 + firstIssueRow5 + firstIssueRow7);
    EXPECT_EQ(product.Run(), 10) << product.LastOutput();
}

// Cut after the nth statement executed from the CREATE TABLE on: before any row, between the
// rows (grouped, so before their commit), and after the edited and removed rows.
INSTANTIATE_TEST_SUITE_P(Statements, ReissuedPackageTest,
                         ::testing::Values(1L, 3L, 6L, 9L, 20L, 40L),
                         [](const auto& info) { return "After" + std::to_string(info.param); });

} // namespace
} // namespace norvane::testing
