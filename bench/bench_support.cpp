#include "bench_support.h"

#include "db/glob_db.h"
#include "update/script_executor.h"
#include "update/update_journal.h"

#include <dlfcn.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>

namespace norvane::bench {

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

std::string DatabaseName(const std::string& server, const fs::path& path) {
    return server.empty() ? path.string() : server + ":" + path.string();
}

void WriteInserts(const fs::path& path, int statements, Commits commits) {
    std::ofstream out(path, std::ios::binary);
    for (int i = 1; i <= statements; ++i) {
        out << "INSERT INTO T (ID, NAME) VALUES (" << i << ", 'name " << i << "');\r\n";
        if (commits == Commits::EachStatement)
            out << "COMMIT;\r\n";
    }
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

ExecutorRun RunExecutor(ui::Window& window, const std::string& server, const fs::path& database,
                        const fs::path& script, int lines, int repeats) {
    ui::ProgressBar bar(window);
    ui::Label timeLabel(window, ui::Control::lUpdateTime);
    std::string logFile;
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    db::CGlobDB globDB("", server, database.string());
    update::UpdateContext context{globDB, window, logFile};
    // With NORVANE_BENCH_JOURNAL set, every statement is recorded as the installer records it;
    // each repeat counts as a package of its own, so that none is skipped as done.
    std::optional<update::UpdateJournal> journal;
    if (std::getenv("NORVANE_BENCH_JOURNAL") != nullptr) {
        journal.emplace(globDB);
        journal->Open();
        context.Journal = &*journal;
    }
    const IoCounts before = IoCounts::Now();
    ExecutorRun run;
    for (int repeat = 0; repeat < repeats; ++repeat) {
        context.Package = repeat + 1;
        bar.SetPosition(0);
        bar.SetMax(lines);
        run.failures += update::ExecuteScript(context, script.string(), &bar, start, &timeLabel);
    }
    const IoCounts after = IoCounts::Now();
    run.seconds = Seconds(Clock::now() - start);
    run.cpuSeconds = CpuSeconds() - cpuStart;
    if (before.syncWrites >= 0) {
        run.io.syncWrites = after.syncWrites - before.syncWrites;
        run.io.roundTrips = after.roundTrips - before.roundTrips;
        run.io.syncWriteSeconds = after.syncWriteSeconds - before.syncWriteSeconds;
    }
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
