// Every package of the project, run with statements committed in groups and with a
// transaction for each statement, on fresh databases: the databases, the logs and the memo
// end the same. Only the moment the work becomes durable differs.
#include "base/text.h"
#include "support/database_dump.h"
#include "support/recording_window.h"
#include "support/temp_folder.h"
#include "support/test_database.h"
#include "support/two_packages.h"
#include "update/update_folder_runner.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>

namespace norvane::update {
namespace {

namespace fs = std::filesystem;

fs::path SourceDir() {
    const char* source = std::getenv("NORVANE_SOURCE_DIR");
    if (source == nullptr)
        throw std::runtime_error("NORVANE_SOURCE_DIR is not set");
    return source;
}

// Packages applied in order to a database made by a setup script.
struct PackageRun {
    const char* name;
    std::function<std::string()> setup;
    std::vector<std::string> packages; // folders below the source tree
};

void PrintTo(const PackageRun& run, std::ostream* out) {
    *out << run.name;
}

// What a run leaves: the database, every log the steps wrote, and the memo.
struct Outcome {
    std::string database;
    std::map<std::string, std::string> logs;
    std::string memo;
};

// The times the scripts take from the clock (CURRENT_TIMESTAMP) differ between two runs:
// today's and yesterday's are masked, to be safe at midnight.
std::string WithoutTimesOfNow(std::string text) {
    for (const std::time_t when : {std::time(nullptr), std::time(nullptr) - 24 * 3600}) {
        char day[16];
        std::strftime(day, sizeof day, "%Y-%m-%d", std::localtime(&when));
        const std::regex now("'" + std::string(day) + " [0-9:.]+'");
        text = std::regex_replace(text, now, "'<now>'");
    }
    return text;
}

Outcome Apply(const PackageRun& run, GroupPolicy groups) {
    testing::TestDatabase database;
    database.Execute(run.setup());
    testing::TempFolder work;
    testing::RecordingWindow window;
    Outcome outcome;
    {
        db::CGlobDB globDB("", "", database.Path());
        UpdateContext context{globDB, window};
        context.Groups = groups;
        std::string lastLog;
        for (const std::string& package : run.packages) {
            // Each package is unpacked over an emptied work folder, as the install does.
            fs::remove_all(work.Path() / "up");
            fs::copy(SourceDir() / package / "up", work.Path() / "up");
            lastLog = RunUpdateFolder(context, work.Str(), lastLog).lastScriptLog;
            for (const auto& entry : fs::directory_iterator(work.Path() / "up")) {
                if (entry.path().extension() == ".log")
                    outcome.logs[package + "/" + entry.path().filename().string()] =
                        testing::ReadFile(entry.path());
            }
        }
    }
    outcome.database =
        WithoutTimesOfNow(testing::Dump(database.Path(), testing::OwnTables::LeftOut));
    // Each run has its own work folder.
    outcome.memo = ReplaceAll(window.MemoText(), work.Str(), "<work>");
    return outcome;
}

class GroupingParityTest : public ::testing::TestWithParam<PackageRun> {};

TEST_P(GroupingParityTest, GroupedCommitsEndAsOneTransactionPerStatement) {
    const Outcome grouped = Apply(GetParam(), GroupPolicy::Grouped());
    const Outcome oneByOne = Apply(GetParam(), GroupPolicy::OnePerStep());
    EXPECT_EQ(grouped.database, oneByOne.database);
    EXPECT_EQ(grouped.logs, oneByOne.logs);
    EXPECT_EQ(grouped.memo, oneByOne.memo);
    // The runs did something worth comparing.
    EXPECT_NE(grouped.memo.find(".sql"), std::string::npos) << grouped.memo;
}

std::string DemoDatabase() {
    return testing::ReadFile(SourceDir() / "examples" / "demo-database.sql");
}

INSTANTIATE_TEST_SUITE_P(
    Packages, GroupingParityTest,
    ::testing::Values(
        PackageRun{"E2ePackages253To255",
                   [] { return testing::ProductDatabaseScript(252); },
                   {"tests/e2e/packages/253", "tests/e2e/packages/254", "tests/e2e/packages/255"}},
        PackageRun{"PackageWithoutItsVersion",
                   [] { return testing::ProductDatabaseScript(254); },
                   {"tests/e2e/packages/noversion/255"}},
        PackageRun{"ResumePackages255And256",
                   [] { return testing::ProductDatabaseScript(254); },
                   {"tests/e2e/packages/resume/255", "tests/e2e/packages/resume/256"}},
        PackageRun{"DemoPackage255", DemoDatabase, {"examples/package-255"}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norvane::update
