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
    // 4 program files of 255, the kept log of 255.02.sql and 2 program files of 256; a commit
    // for each of the 59 statements that succeed, each blob file and the journal's own work.
    EXPECT_EQ(reference.renames, 7);
    EXPECT_GT(reference.commits, 62);
    // NORVANE$UPDATE_LOCK, NORVANE$UPDATE_JOURNAL and NOKEY.
    EXPECT_EQ(reference.createTableWrites.size(), 3u);
}

/// One point to cut a run at: a commit at a share of all the run's commits (in fifteenths),
/// or the nth program file put in place; before the call or after it returned.
struct KillPoint {
    std::string kind; // "COMMIT" or "RENAME"
    long index;
    std::string when; // "before" or "after"

    long Number(const Reference& reference) const {
        if (kind == "RENAME")
            return index;
        return std::max(1L, reference.commits * index / 15);
    }
};

void PrintTo(const KillPoint& point, std::ostream* out) {
    *out << point.kind << " " << point.index << " " << point.when;
}

class KilledRunTest : public ::testing::TestWithParam<KillPoint> {};

TEST_P(KilledRunTest, ARerunEndsAsAnUninterruptedRun) {
    const Reference& reference = UninterruptedRun();
    const KillPoint& point = GetParam();
    Product product;
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

// Points chosen by count over the whole run: commits spread from the run lock through every
// script, the blob files and the record of the complete package, each cut before and after
// the commit; every program file and kept log put in place, before and after.
std::vector<KillPoint> KillPoints() {
    std::vector<KillPoint> points;
    for (long fifteenth = 1; fifteenth <= 15; ++fifteenth) {
        points.push_back({"COMMIT", fifteenth, "before"});
        points.push_back({"COMMIT", fifteenth, "after"});
    }
    for (long rename = 1; rename <= 7; ++rename) {
        points.push_back({"RENAME", rename, "before"});
        points.push_back({"RENAME", rename, "after"});
    }
    return points;
}

INSTANTIATE_TEST_SUITE_P(Points, KilledRunTest, ::testing::ValuesIn(KillPoints()),
                         [](const auto& info) {
                             return info.param.kind + std::to_string(info.param.index) + "_" +
                                    info.param.when;
                         });

} // namespace
} // namespace norvane::testing
