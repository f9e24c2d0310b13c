// The real installer killed (SIGKILL) while the engine is inside a commit, not before or after
// it: the engine has then put part of the commit's pages on disk. The fault library kills it
// just before a chosen page write of a chosen commit, or a few milliseconds after a commit
// started, wherever it then is. A rerun, the first to attach after the kill, must end as an
// update that was never interrupted, byte for byte.
#include "resume_fixture.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <random>
#include <set>
#include <string>

namespace norvane::testing {
namespace {

/// A CREATE TABLE of the run, by its place among the run's CREATE TABLE commits.
struct TableCreation {
    long number;
    std::string table;
};

void PrintTo(const TableCreation& creation, std::ostream* out) {
    *out << creation.table;
}

class KilledInsideCreateTable : public ::testing::TestWithParam<TableCreation> {};

// Kills before a quarter, half, three quarters and all of the pages the commit wrote in the
// uninterrupted run are on disk. A kill the run does not reach (its commit wrote fewer pages)
// is only counted.
TEST_P(KilledInsideCreateTable, ARerunMakesTheTableAndEndsAsAnUninterruptedRun) {
    const Reference& reference = UninterruptedRun();
    const TableCreation& creation = GetParam();
    ASSERT_GE(reference.createTableWrites.size(), static_cast<std::size_t>(creation.number));
    const long pages = reference.createTableWrites[creation.number - 1];
    std::set<long> writes;
    for (const long quarter : {1, 2, 3, 4})
        writes.insert(std::max(1L, pages * quarter / 4));
    int inside = 0;
    int unreached = 0;
    for (const long write : writes) {
        Product product;
        const int killed = product.Run(
            {"NORVANE_FAULT_CREATE_TABLE=" + std::to_string(creation.number),
             "NORVANE_FAULT_WHEN=write", "NORVANE_FAULT_WRITE=" + std::to_string(write)});
        if (killed != Killed) {
            ++unreached;
            continue;
        }
        ++inside;
        EXPECT_EQ(product.Run(), reference.status) << "page " << write << "\n"
                                                   << product.LastOutput();
        EXPECT_EQ(product.DatabaseState(), reference.database) << "page " << write;
        EXPECT_EQ(product.ProgramFolder(), reference.programFolder) << "page " << write;
    }
    std::cout << "kills inside the commit of CREATE TABLE " << creation.table << ": " << inside
              << " of " << writes.size() << " (" << unreached << " pages not reached; " << pages
              << " pages written uninterrupted)\n";
    EXPECT_GT(inside, 0) << "no kill landed inside the commit";
}

INSTANTIATE_TEST_SUITE_P(Tables, KilledInsideCreateTable,
                         // The installer's two tables are made in one transaction.
                         ::testing::Values(TableCreation{1, "NORVANE$UPDATE_LOCK_AND_JOURNAL"},
                                           TableCreation{2, "NOKEY"}),
                         [](const auto& info) {
                             std::string name = info.param.table;
                             std::erase(name, '$');
                             return name;
                         });

// A hundred kills in the update phase: at one of the first page writes of a commit (each
// statement's, each blob file's, the journal's), cutting that write off as the system does,
// or up to 3 ms after a commit started, wherever the installer then is. A product is killed again
// and again, each rerun the first to attach after the last kill, until a run gets to its end; its
// database is then compared whole, phantom rows included.
TEST(KilledUpdatePhase, AHundredKillsLeaveTheDatabaseAsAnUninterruptedRun) {
    const Reference& reference = UninterruptedRun();
    constexpr int Kills = 100;
    // The same points on every run of the test.
    std::mt19937 random(20241208);
    // Few enough commits that most runs are cut again before their end: more kills a product.
    std::uniform_int_distribution<long> commit(1, 5);
    std::uniform_int_distribution<long> write(1, 4);
    std::uniform_int_distribution<long> delay(0, 3000);
    int kills = 0;
    int insideCommits = 0;
    int insideCreateTables = 0;
    int products = 0;
    while (kills < Kills) {
        Product product;
        ++products;
        int status = Killed;
        while (status == Killed) {
            TempFolder marker;
            std::vector<std::string> fault{
                "NORVANE_FAULT_COUNT_FROM=insert into NORVANE$UPDATE_JOURNAL",
                "NORVANE_FAULT_COMMIT=" + std::to_string(commit(random)),
                "NORVANE_FAULT_LANDED=" + marker / "landed"};
            if (kills % 2 == 0)
                fault.insert(fault.end(), {"NORVANE_FAULT_WHEN=write", "NORVANE_FAULT_TORN=1",
                                           "NORVANE_FAULT_WRITE=" + std::to_string(write(random))});
            else
                fault.insert(fault.end(),
                             {"NORVANE_FAULT_WHEN=during",
                              "NORVANE_FAULT_DELAY_US=" + std::to_string(delay(random))});
            status = product.Run(fault);
            const std::string landed = ReadFile(marker / "landed");
            kills += status == Killed;
            insideCommits += landed.starts_with("inside");
            insideCreateTables += landed == "inside CREATE TABLE";
        }
        // The run that got to its end: with 255.02.sql's failure, without it when 255.02.sql
        // was done before, or with nothing left to do.
        EXPECT_TRUE(status == 0 || status == 3 || status == 10)
            << "product " << products << ": " << status << "\n"
            << product.LastOutput();
        EXPECT_EQ(product.DatabaseState(), reference.database) << "product " << products;
        EXPECT_EQ(product.ProgramFolder(), reference.programFolder) << "product " << products;
    }
    std::cout << kills << " kills on " << products << " products, " << insideCommits
              << " inside a commit, " << insideCreateTables << " of them a CREATE TABLE's\n";
}

} // namespace
} // namespace norvane::testing
