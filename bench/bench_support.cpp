#include "bench_support.h"

#include "db/glob_db.h"
#include "update/script_executor.h"
#include "update/update_folder_runner.h"
#include "update/update_journal.h"

#include <dlfcn.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>

namespace norvane::bench {

std::string Self() {
    return fs::canonical("/proc/self/exe").string();
}

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

std::string Capture(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) {
        std::fprintf(stderr, "cannot run: %s\n", command.c_str());
        std::exit(1);
    }
    std::string output;
    std::array<char, 4096> buffer{};
    while (const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), pipe.get()))
        output.append(buffer.data(), got);
    if (::pclose(pipe.release()) != 0) {
        std::fprintf(stderr, "failed: %s\n%s", command.c_str(), output.c_str());
        std::exit(1);
    }
    return output;
}

double ValueOf(std::string_view text, std::string_view name) {
    const std::string key = std::string(name) + "=";
    for (std::size_t at = text.find(key); at != std::string_view::npos;
         at = text.find(key, at + 1)) {
        // A whole word only: "trips=" must not be found inside "round_trips=".
        if (at == 0 || text[at - 1] == ' ' || text[at - 1] == '\n')
            return std::strtod(std::string(text.substr(at + key.size(), 32)).c_str(), nullptr);
    }
    std::fprintf(stderr, "no %.*s in:\n%.*s\n", static_cast<int>(name.size()), name.data(),
                 static_cast<int>(text.size()), text.data());
    std::exit(1);
}

std::string Quoted(const fs::path& path) {
    std::string quoted = "'";
    for (const char c : path.string())
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

namespace {

double UsageSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

double CpuSeconds() {
    return UsageSeconds(RUSAGE_SELF);
}

double ChildrenCpuSeconds() {
    return UsageSeconds(RUSAGE_CHILDREN);
}

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long CurrentRssKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

void CreateDatabase(const fs::path& path, const std::string& ddl, Writes writes) {
    fs::remove(path);
    const fs::path script = path.string() + ".create.sql";
    std::ofstream(script) << "CREATE DATABASE '" << path.string() << "' USER 'SYSDBA' PASSWORD '"
                          << Password << "';\n"
                          << ddl << "\nCOMMIT;\n";
    Run("isql-fb -q -i " + Quoted(script));
    if (writes == Writes::Async)
        Run("gfix -write async -user SYSDBA -password " + std::string(Password) + " " +
            Quoted(path));
}

void AddJournal(const fs::path& database) {
    Run(Quoted(Self()) + " journal " + Quoted(database));
}

std::string DatabaseName(const std::string& server, const fs::path& path) {
    return server.empty() ? path.string() : server + ":" + path.string();
}

void WriteInserts(const fs::path& path, int statements, int commitEvery, FinalCommit final) {
    std::ofstream out(path, std::ios::binary);
    for (int i = 1; i <= statements; ++i) {
        out << "INSERT INTO T (ID, NAME) VALUES (" << i << ", 'name " << i << "');\r\n";
        if (commitEvery > 0 && i % commitEvery == 0)
            out << "COMMIT;\r\n";
    }
    if (final == FinalCommit::AfterLast && (commitEvery == 0 || statements % commitEvery != 0))
        out << "COMMIT;\r\n";
}

update::GroupPolicy PolicyNamed(const std::string& name) {
    if (name == "grouped")
        return update::GroupPolicy::Grouped();
    if (name == "one")
        return update::GroupPolicy::OnePerStep();
    const int steps = std::atoi(name.c_str());
    if (steps < 1) {
        std::fprintf(stderr, "no grouping named %s\n", name.c_str());
        std::exit(1);
    }
    return {static_cast<std::size_t>(steps), std::chrono::hours(24),
            std::numeric_limits<std::size_t>::max()};
}

IoCounts IoCounts::Now() {
    using Reader = void (*)(long*, long*, long*);
    static const auto reader = reinterpret_cast<Reader>(::dlsym(RTLD_DEFAULT, "norvane_io_counts"));
    IoCounts counts;
    long nanoseconds = 0;
    if (reader != nullptr)
        reader(&counts.syncWrites, &counts.roundTrips, &nanoseconds);
    counts.syncWriteSeconds = static_cast<double>(nanoseconds) * 1e-9;
    return counts;
}

namespace {

// The counts an in-process run added, when the counter is loaded.
IoCounts CountsSince(const IoCounts& before) {
    const IoCounts after = IoCounts::Now();
    IoCounts counts;
    if (before.syncWrites >= 0) {
        counts.syncWrites = after.syncWrites - before.syncWrites;
        counts.roundTrips = after.roundTrips - before.roundTrips;
        counts.syncWriteSeconds = after.syncWriteSeconds - before.syncWriteSeconds;
    }
    return counts;
}

} // namespace

ExecutorRun RunExecutor(ui::Window& window, const std::string& server, const fs::path& database,
                        const fs::path& script, int lines, const update::GroupPolicy& groups,
                        int repeats) {
    ui::ProgressBar bar(window);
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    db::CGlobDB globDB("", server, database.string());
    update::UpdateContext context{globDB, window};
    context.Groups = groups;
    update::UpdateJournal journal(globDB);
    journal.Open();
    context.Journal = &journal;
    const IoCounts before = IoCounts::Now();
    ExecutorRun run;
    for (int repeat = 0; repeat < repeats; ++repeat) {
        context.Package = repeat + 1;
        bar.SetPosition(0);
        bar.SetMax(lines);
        run.failures += update::ExecuteScript(context, script.string(), start).failures;
    }
    run.io = CountsSince(before);
    run.seconds = Seconds(Clock::now() - start);
    run.cpuSeconds = CpuSeconds() - cpuStart;
    return run;
}

ExecutorRun RunFolder(const fs::path& database, const fs::path& folder,
                      const update::GroupPolicy& groups) {
    NullWindow window;
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    db::CGlobDB globDB("", "", database.string());
    update::UpdateContext context{globDB, window};
    context.Groups = groups;
    update::UpdateJournal journal(globDB);
    journal.Open();
    context.Journal = &journal;
    context.Package = 1;
    const IoCounts before = IoCounts::Now();
    const update::UpdateFolderOutcome outcome = update::RunUpdateFolder(context, folder.string());
    ExecutorRun run;
    run.io = CountsSince(before);
    run.failures = outcome.failedBlobs + outcome.failedStatements;
    run.seconds = Seconds(Clock::now() - start);
    run.cpuSeconds = CpuSeconds() - cpuStart;
    return run;
}

Spread SpreadOf(std::vector<double> values) {
    if (values.empty())
        return {};
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

std::string Format(const Spread& spread, const char* number) {
    const std::string format = std::string(number) + " (" + number + "-" + number + ")";
    char text[128];
    std::snprintf(text, sizeof text, format.c_str(), spread.median, spread.min, spread.max);
    return text;
}

} // namespace norvane::bench
