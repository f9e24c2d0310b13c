// Measures an update against what the machine allows, with forced writes (the database's
// default): ExecuteScript with its groups and journal against isql-fb committing each
// statement and against isql-fb running the script's own COMMITs, embedded and over a loopback
// server; the cost of a commit against the size of a group; the blob phase grouped and one
// file a transaction; the Qt window's share of a run under Xvfb; the time and peak memory of a
// 50 MB script and of a large blob file.
//
//   script_bench [folder] [--rounds N] [--only forced,server,groups,blobs,window,memory]
//
// Every ratio is printed as the median of the rounds with their range; each round runs the
// contenders on fresh databases in a rotating order, so that neither profits from a warm
// cache or a quiet moment of the machine. The other forms are the runs the first one starts
// as child processes (groups: grouped, one, or a number of statements a group):
//
//   script_bench executor <server|-> <database> <script> <lines> <groups>
//   script_bench journal <database>
//   script_bench folder <database> <update folder> <groups>
//   script_bench read <file>
//   script_bench blob <database> <blob file>
//   script_bench script-memory <database> <script> <lines>
//   script_bench window <folder> <rounds> <SET script runs>   (needs a display: Xvfb)

#include "bench_support.h"
#include "window_bench.h"

#include "db/glob_db.h"
#include "platform/files.h"
#include "update/blob_loader.h"
#include "update/script_lines.h"
#include "update/update_journal.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>

namespace norvane::bench {

namespace {

// ---------------------------------------------------------------------------------------------
// Child runs

void PrintRun(const ExecutorRun& run) {
    std::printf("seconds=%.6f cpu=%.6f failures=%d sync_writes=%ld round_trips=%ld "
                "sync_write_seconds=%.6f\n",
                run.seconds, run.cpuSeconds, run.failures, run.io.syncWrites, run.io.roundTrips,
                run.io.syncWriteSeconds);
}

int ExecutorChild(const std::string& server, const fs::path& database, const fs::path& script,
                  int lines, const std::string& groups) {
    NullWindow window;
    PrintRun(RunExecutor(window, server == "-" ? "" : server, database, script, lines,
                         PolicyNamed(groups)));
    return 0;
}

// Makes the journal's table, as a database the installer updated before has it: the installer
// makes it once, before its first package, never for a script.
int JournalChild(const fs::path& database) {
    db::CGlobDB globDB("", "", database.string());
    update::UpdateJournal(globDB).Open();
    return 0;
}

int FolderChild(const fs::path& database, const fs::path& folder, const std::string& groups) {
    PrintRun(RunFolder(database, folder, PolicyNamed(groups)));
    return 0;
}

int ReadChild(const fs::path& file) {
    const long before = CurrentRssKiB();
    const auto start = Clock::now();
    const std::string bytes = platform::ReadWholeFile(file.string());
    const double seconds = Seconds(Clock::now() - start);
    std::printf("seconds=%.6f size=%zu rss_before_kib=%ld peak_kib=%ld\n", seconds, bytes.size(),
                before, PeakRssKiB());
    return 0;
}

int BlobChild(const fs::path& database, const fs::path& blob) {
    NullWindow window;
    db::CGlobDB globDB("", "", database.string());
    update::UpdateContext context{globDB, window};
    update::UpdateJournal journal(globDB);
    journal.Open();
    context.Journal = &journal;
    context.Package = 1;
    const long before = CurrentRssKiB();
    const auto start = Clock::now();
    update::BlobLoader loader(context);
    const update::BlobLoad load = loader.LoadBlobFile(blob.string(), blob.string() + ".log");
    loader.Commit();
    const double seconds = Seconds(Clock::now() - start);
    std::printf("seconds=%.6f loaded=%d rss_before_kib=%ld peak_kib=%ld\n", seconds,
                load == update::BlobLoad::Loaded && loader.Failures() == 0 ? 1 : 0, before,
                PeakRssKiB());
    return 0;
}

int ScriptMemoryChild(const fs::path& database, const fs::path& script, int lines) {
    NullWindow window;
    // Attached first, so that the client library and the engine are not counted.
    { db::CGlobDB warm("", "", database.string()); }
    const long before = CurrentRssKiB();
    const ExecutorRun run =
        RunExecutor(window, "", database, script, lines, update::GroupPolicy::Grouped());
    std::printf("seconds=%.6f cpu=%.6f failures=%d rss_before_kib=%ld peak_kib=%ld\n", run.seconds,
                run.cpuSeconds, run.failures, before, PeakRssKiB());
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Contenders

// Counted runs have the I/O counter preloaded; timed runs do not.
enum class Counting { Off, On };

std::string Preload(Counting counting) {
    return counting == Counting::On ? "LD_PRELOAD=" + Quoted(NORVANE_IO_COUNTER) + " " : "";
}

// A run's wall time, and its processor time: the part of the wall time that the machine's
// other work disturbs least.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

struct Measured {
    Timing timing;
    IoCounts io;
};

// A child run of this program; it stops the benchmark when a step of it failed.
Measured Child(const std::string& arguments, Counting counting) {
    const double cpuBefore = ChildrenCpuSeconds();
    const auto start = Clock::now();
    const std::string output = Capture(Preload(counting) + Quoted(Self()) + " " + arguments);
    const double wall = Seconds(Clock::now() - start);
    if (ValueOf(output, "failures") != 0) {
        std::fprintf(stderr, "steps failed in %s:\n%s", arguments.c_str(), output.c_str());
        std::exit(1);
    }
    Measured run;
    // The whole process, as isql-fb's is taken: its start and end (loading and unloading the
    // engine) are part of a run of isql-fb as of the executor's.
    run.timing = {wall, ChildrenCpuSeconds() - cpuBefore};
    run.io.syncWrites = static_cast<long>(ValueOf(output, "sync_writes"));
    run.io.roundTrips = static_cast<long>(ValueOf(output, "round_trips"));
    run.io.syncWriteSeconds = ValueOf(output, "sync_write_seconds");
    return run;
}

// The executor with the journal, as the installer runs it, grouped as groups names.
Measured Executor(const std::string& groups, const std::string& server, const fs::path& database,
                  const fs::path& script, Counting counting = Counting::Off) {
    const int lines = static_cast<int>(update::CountScriptLines(script.string()));
    return Child("executor " + (server.empty() ? std::string("-") : server) + " " +
                     Quoted(database) + " " + Quoted(script) + " " + std::to_string(lines) + " " +
                     groups,
                 counting);
}

Measured Isql(const std::string& server, const fs::path& database, const fs::path& script,
              const fs::path& folder, Counting counting = Counting::Off) {
    const fs::path counts = folder / "isql.counts";
    const std::string prefix = counting == Counting::On
                                   ? Preload(counting) + "NORVANE_IO_COUNTS=" + Quoted(counts) + " "
                                   : "";
    const double cpuBefore = ChildrenCpuSeconds();
    const auto start = Clock::now();
    // -b stops at the first error, so a failing statement cannot pass for a fast run.
    Run(prefix + "isql-fb -q -b -user SYSDBA -password " + Password + " " +
        Quoted(DatabaseName(server, database)) + " -i " + Quoted(script) + " >/dev/null");
    Measured run;
    run.timing = {Seconds(Clock::now() - start), ChildrenCpuSeconds() - cpuBefore};
    if (counting == Counting::On) {
        std::ifstream in(counts);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        run.io.syncWrites = static_cast<long>(ValueOf(text, "sync_writes"));
        run.io.roundTrips = static_cast<long>(ValueOf(text, "round_trips"));
        run.io.syncWriteSeconds = ValueOf(text, "sync_write_ns") * 1e-9;
    }
    return run;
}

// ---------------------------------------------------------------------------------------------
// Rounds

// Runs every contender once per round on fresh databases (prepare), in an order that rotates
// from round to round, each after a sync so that no run pays for another's written-back pages.
using Rounds = std::vector<std::vector<Timing>>;

Rounds RunRounds(int rounds, const std::vector<std::string>& names,
                 const std::function<void()>& prepare,
                 const std::vector<std::function<Timing()>>& contenders) {
    Rounds times(contenders.size());
    for (int round = 0; round < rounds; ++round) {
        prepare();
        std::vector<Timing> these(contenders.size());
        for (std::size_t k = 0; k < contenders.size(); ++k) {
            const std::size_t which = (static_cast<std::size_t>(round) + k) % contenders.size();
            Run("sync");
            these[which] = contenders[which]();
        }
        std::printf("  round %d:", round + 1);
        for (std::size_t k = 0; k < contenders.size(); ++k) {
            std::printf(" %s %.3f s (processor %.3f s)%s", names[k].c_str(), these[k].wall,
                        these[k].cpu, k + 1 < contenders.size() ? "," : "\n");
            times[k].push_back(these[k]);
        }
        std::fflush(stdout);
    }
    return times;
}

enum class Clocks { Wall, Processor };

std::vector<double> Ratios(const std::vector<Timing>& a, const std::vector<Timing>& b,
                           Clocks clocks) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.size(); ++i)
        ratios.push_back(clocks == Clocks::Wall ? a[i].wall / b[i].wall : a[i].cpu / b[i].cpu);
    return ratios;
}

std::vector<double> Walls(const std::vector<Timing>& times) {
    std::vector<double> walls;
    for (const Timing& timing : times)
        walls.push_back(timing.wall);
    return walls;
}

std::vector<double> Processors(const std::vector<Timing>& times) {
    std::vector<double> cpus;
    for (const Timing& timing : times)
        cpus.push_back(timing.cpu);
    return cpus;
}

// The closing table: one line per measure, with its target; a line without a target informs.
struct Verdict {
    std::string measure;
    std::string value;
    std::string target;
    bool met = true;
};

std::vector<Verdict> g_verdicts;

void Judge(const std::string& measure, const Spread& spread, const char* number, double limit,
           const std::string& target) {
    g_verdicts.push_back({measure, Format(spread, number), target, spread.median <= limit});
}

void Note(const std::string& measure, const Spread& spread, const char* number) {
    g_verdicts.push_back({measure, Format(spread, number), "-", true});
}

void PrintTimes(const std::vector<std::string>& names, const Rounds& times) {
    for (std::size_t k = 0; k < names.size(); ++k)
        std::printf("  %-26s %s s, processor %s s\n", names[k].c_str(),
                    Format(SpreadOf(Walls(times[k])), "%.3f").c_str(),
                    Format(SpreadOf(Processors(times[k])), "%.3f").c_str());
}

// a against b in wall time and processor time, both judged against limit.
void Compare(const std::string& measure, const std::vector<Timing>& a, const std::vector<Timing>& b,
             double limit, const std::string& target) {
    const Spread wall = SpreadOf(Ratios(a, b, Clocks::Wall));
    const Spread processor = SpreadOf(Ratios(a, b, Clocks::Processor));
    std::printf("  %s: %s wall time, %s processor time\n", measure.c_str(),
                Format(wall, "%.3f").c_str(), Format(processor, "%.3f").c_str());
    Judge(measure, wall, "%.3f", limit, target);
    Judge(measure + ", processor time", processor, "%.3f", limit, target);
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

void Section(const std::string& title) {
    std::printf("\n%s\n  load average: %s\n", title.c_str(), LoadAverage().c_str());
    std::fflush(stdout);
}

// ---------------------------------------------------------------------------------------------
// Sections

struct Options {
    fs::path folder;
    int rounds = 6;
    std::set<std::string> only;
    bool Wants(const std::string& section) const { return only.empty() || only.count(section); }
};

// isql-fb committing each statement pays some four synchronous page writes a statement: its
// scripts are kept short, so that a round takes half a minute rather than minutes.
inline constexpr int EachStatements = 2000;
// The scripts whose commits both run come in groups of CommitEvery, long enough that a run's
// own start and end (loading the engine, some 0.4 s) weigh little against its statements.
inline constexpr int ScriptStatements = 20000;
inline constexpr int CommitEvery = 1000;
// The statements of the group-size curve.
inline constexpr int CurveStatements = 5000;

// The INSERTs with the commits of each way of running them.
struct Scripts {
    fs::path inserts;     // EachStatements INSERTs alone: the executor commits them in groups
    fs::path commitEach;  // the same, a COMMIT after each
    fs::path commitOne;   // one INSERT and its COMMIT: isql-fb's cost apart from the statements
    fs::path longInserts; // ScriptStatements INSERTs alone
    fs::path commitEvery; // the same, a COMMIT after every CommitEvery of them
    fs::path commitOnce;  // the same, one COMMIT after the last
    fs::path curve;       // CurveStatements INSERTs alone
};

Scripts WriteScripts(const fs::path& folder) {
    const Scripts scripts{folder / "inserts.sql",           folder / "inserts-commit-each.sql",
                          folder / "insert-commit-one.sql", folder / "long-inserts.sql",
                          folder / "long-commit-every.sql", folder / "long-commit-once.sql",
                          folder / "curve-inserts.sql"};
    WriteInserts(scripts.inserts, EachStatements, 0);
    WriteInserts(scripts.commitEach, EachStatements, 1);
    WriteInserts(scripts.commitOne, 1, 1);
    WriteInserts(scripts.longInserts, ScriptStatements, 0);
    WriteInserts(scripts.commitEvery, ScriptStatements, CommitEvery, FinalCommit::AfterLast);
    WriteInserts(scripts.commitOnce, ScriptStatements, 0, FinalCommit::AfterLast);
    WriteInserts(scripts.curve, CurveStatements, 0);
    return scripts;
}

// Before each round: a new empty database for each contender, with the journal's table for
// the executor's.
std::function<void()> FreshDatabases(std::vector<fs::path> executorDatabases,
                                     std::vector<fs::path> isqlDatabases = {}) {
    return [executorDatabases, isqlDatabases] {
        for (const fs::path& database : executorDatabases) {
            CreateDatabase(database, InsertsTable, Writes::Forced);
            AddJournal(database);
        }
        for (const fs::path& database : isqlDatabases)
            CreateDatabase(database, InsertsTable, Writes::Forced);
    };
}

// Embedded engine, forced writes: the executor against isql-fb committing each statement, and
// against isql-fb on a script with COMMITs of its own that both run.
void ForcedWrites(const Options& options, const Scripts& scripts) {
    const fs::path& folder = options.folder;
    const std::string every = "COMMIT every " + std::to_string(CommitEvery);
    Section("Embedded engine, forced writes (the database's default): " +
            std::to_string(EachStatements) + " INSERTs against isql-fb committing each; " +
            std::to_string(ScriptStatements) + " INSERTs with a " + every + " that both run");
    const fs::path executorDb = folder / "executor.fdb";
    const fs::path isqlDb = folder / "isql.fdb";
    const fs::path executorEveryDb = folder / "executor-every.fdb";
    const fs::path isqlEveryDb = folder / "isql-every.fdb";
    const fs::path executorLongDb = folder / "executor-long.fdb";
    const fs::path isqlOnceDb = folder / "isql-once.fdb";
    const auto prepare = FreshDatabases({executorDb, executorEveryDb, executorLongDb},
                                        {isqlDb, isqlEveryDb, isqlOnceDb});

    // What the commits ask of the disk, counted once, apart from the timed rounds.
    prepare();
    const Measured counted = Executor("grouped", "", executorDb, scripts.inserts, Counting::On);
    const Measured isqlCounted = Isql("", isqlDb, scripts.commitEach, folder, Counting::On);
    const Measured everyCounted =
        Executor("grouped", "", executorEveryDb, scripts.commitEvery, Counting::On);
    const Measured isqlEveryCounted =
        Isql("", isqlEveryDb, scripts.commitEvery, folder, Counting::On);
    const Measured longCounted =
        Executor("grouped", "", executorLongDb, scripts.longInserts, Counting::On);
    const auto writes = [](const char* name, const Measured& run, int statements) {
        std::printf("  synchronous writes, %s: %ld, %.2f a statement, %.3f s in them (%.2f ms "
                    "each) of the run's %.3f s\n",
                    name, run.io.syncWrites, static_cast<double>(run.io.syncWrites) / statements,
                    run.io.syncWriteSeconds,
                    1e3 * run.io.syncWriteSeconds / static_cast<double>(run.io.syncWrites),
                    run.timing.wall);
    };
    writes("executor", counted, EachStatements);
    writes("isql-fb committing each", isqlCounted, EachStatements);
    writes(("executor, " + every).c_str(), everyCounted, ScriptStatements);
    writes(("isql-fb, " + every).c_str(), isqlEveryCounted, ScriptStatements);
    writes("executor, long, no COMMIT", longCounted, ScriptStatements);
    std::fflush(stdout);

    const std::vector<std::string> names{
        "executor",          "isql-fb, COMMIT each",      "executor, " + every,
        "isql-fb, " + every, "executor, long, no COMMIT", "isql-fb, long, one COMMIT"};
    const Rounds times = RunRounds(
        options.rounds, names, prepare,
        {[&] { return Executor("grouped", "", executorDb, scripts.inserts).timing; },
         [&] { return Isql("", isqlDb, scripts.commitEach, folder).timing; },
         [&] { return Executor("grouped", "", executorEveryDb, scripts.commitEvery).timing; },
         [&] { return Isql("", isqlEveryDb, scripts.commitEvery, folder).timing; },
         [&] { return Executor("grouped", "", executorLongDb, scripts.longInserts).timing; },
         [&] { return Isql("", isqlOnceDb, scripts.commitOnce, folder).timing; }});
    PrintTimes(names, times);
    Compare("embedded: executor / isql-fb committing each", times[0], times[1], 0.15, "<= 0.15");
    Compare("embedded: executor / isql-fb, " + every + " (both)", times[2], times[3], 1.0,
            "<= 1.0");
    // The script as the installer's scripts come, without COMMITs: the executor's own groups.
    const auto info = [&](const std::string& measure, std::size_t a, std::size_t b) {
        const Spread wall = SpreadOf(Ratios(times[a], times[b], Clocks::Wall));
        const Spread processor = SpreadOf(Ratios(times[a], times[b], Clocks::Processor));
        std::printf("  %s: %s wall time, %s processor time\n", measure.c_str(),
                    Format(wall, "%.3f").c_str(), Format(processor, "%.3f").c_str());
        Note(measure, wall, "%.3f");
        Note(measure + ", processor time", processor, "%.3f");
    };
    info("embedded: executor, no COMMIT / isql-fb, " + every, 4, 3);
    info("embedded: executor, no COMMIT / isql-fb, one COMMIT", 4, 5);
}

// The loopback server: our own on NORVANE_FB_PORT unless NORVANE_TEST_SERVER names another.
class LoopbackServer {
public:
    LoopbackServer() {
        const std::string script = Quoted(fs::path(NORVANE_SOURCE_DIR) / "scripts/firebird-server");
        const char* given = std::getenv("NORVANE_TEST_SERVER");
        if (given == nullptr || *given == '\0') {
            Run(script + " start");
            m_stop = script + " stop";
        }
        const std::string ours = Line(Capture(script + " name 2>/dev/null || true"));
        m_name = m_stop.empty() ? given : ours;
        // The server's processor time can be read only from a server this script knows.
        if (m_name == ours) {
            const std::string pid = Line(Capture(script + " pid 2>/dev/null || true"));
            if (!pid.empty())
                m_stat = "/proc/" + pid + "/stat";
        }
    }
    ~LoopbackServer() {
        if (!m_stop.empty())
            std::system(m_stop.c_str());
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    const std::string& Name() const { return m_name; }

    /// The processor time the server process has used, or nothing when it is not known.
    std::optional<double> CpuSeconds() const {
        if (m_stat.empty())
            return std::nullopt;
        std::ifstream in(m_stat);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        // The fields after the command name, which is in parentheses and may hold blanks.
        const std::size_t close = text.rfind(')');
        if (close == std::string::npos)
            return std::nullopt;
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        long utime = 0, stime = 0;
        for (int i = 3; fields >> field; ++i) {
            if (i == 14)
                utime = std::stol(field);
            if (i == 15) {
                stime = std::stol(field);
                break;
            }
        }
        return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }

private:
    static std::string Line(std::string text) {
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        return text;
    }

    std::string m_name;
    std::string m_stop;
    std::string m_stat;
};

// A run over the server, with the server's processor time added to the client's.
Timing WithServer(const LoopbackServer& server, const std::function<Measured()>& run) {
    const std::optional<double> before = server.CpuSeconds();
    Timing timing = run().timing;
    const std::optional<double> after = server.CpuSeconds();
    timing.cpu = before && after ? timing.cpu + *after - *before : 0;
    return timing;
}

void Server(const Options& options, const Scripts& scripts) {
    const fs::path& folder = options.folder;
    LoopbackServer server;
    Section(std::to_string(EachStatements) + " INSERTs over the loopback server " + server.Name() +
            ", forced writes");
    const fs::path executorDb = folder / "server-executor.fdb";
    const fs::path isqlDb = folder / "server-isql.fdb";
    const auto prepare = FreshDatabases({executorDb}, {isqlDb});

    prepare();
    const Measured counted =
        Executor("grouped", server.Name(), executorDb, scripts.inserts, Counting::On);
    // isql-fb's own start and end are taken off with a run of one statement.
    const Measured isqlAll = Isql(server.Name(), isqlDb, scripts.commitEach, folder, Counting::On);
    const Measured isqlOne = Isql(server.Name(), isqlDb, scripts.commitOne, folder, Counting::On);
    const double executorTrips = static_cast<double>(counted.io.roundTrips) / EachStatements;
    const double isqlTrips =
        static_cast<double>(isqlAll.io.roundTrips - isqlOne.io.roundTrips) / (EachStatements - 1);
    std::printf("  round trips a statement: executor %.2f, isql-fb committing each %.2f\n",
                executorTrips, isqlTrips);

    const std::vector<std::string> names{"executor", "isql-fb, COMMIT each"};
    const Rounds times =
        RunRounds(options.rounds, names, prepare,
                  {[&] {
                       return WithServer(server, [&] {
                           return Executor("grouped", server.Name(), executorDb, scripts.inserts);
                       });
                   },
                   [&] {
                       return WithServer(server, [&] {
                           return Isql(server.Name(), isqlDb, scripts.commitEach, folder);
                       });
                   }});
    PrintTimes(names, times);
    if (server.CpuSeconds()) {
        std::printf("  (processor time: the client's and the server's)\n");
        Compare("loopback server: executor / isql-fb committing each", times[0], times[1], 0.5,
                "<= 0.5");
        return;
    }
    const Spread ratio = SpreadOf(Ratios(times[0], times[1], Clocks::Wall));
    std::printf("  executor / isql-fb: %s wall time (the server's processor time is not known)\n",
                Format(ratio, "%.3f").c_str());
    Judge("loopback server: executor / isql-fb committing each", ratio, "%.3f", 0.5, "<= 0.5");
}

// The rounds of the sections whose slowest contender commits every step, a minute a run: fewer,
// which their ratios of five and more to one can afford.
int SlowRounds(const Options& options) {
    return std::max(2, (options.rounds + 1) / 2);
}

// The cost of a commit against the size of a group: the same INSERTs in groups of 1 to all of
// them, nothing else limiting a group, and one INSERT for the cost of a run's start and end.
void GroupSizes(const Options& options, const Scripts& scripts) {
    const fs::path& folder = options.folder;
    Section(std::to_string(CurveStatements) +
            " INSERTs in groups of N statements, embedded engine, forced writes, with the journal");
    const std::vector<int> sizes{1, 10, 100, 1000, CurveStatements};
    std::vector<fs::path> databases;
    std::vector<std::string> names;
    std::vector<std::function<Timing()>> contenders;
    for (const int size : sizes) {
        databases.push_back(folder / ("group-" + std::to_string(size) + ".fdb"));
        names.push_back("N=" + std::to_string(size));
    }
    for (std::size_t k = 0; k < sizes.size(); ++k) {
        contenders.push_back([&, k] {
            return Executor(std::to_string(sizes[k]), "", databases[k], scripts.curve).timing;
        });
    }
    const fs::path oneInsert = folder / "one-insert.sql";
    WriteInserts(oneInsert, 1, 0);
    databases.push_back(folder / "group-start.fdb");
    names.push_back("1 INSERT");
    contenders.push_back([&] { return Executor("1", "", databases.back(), oneInsert).timing; });
    // What each size asks of the disk, counted once; a commit for every statement is left out:
    // it would take a minute.
    const auto fresh = FreshDatabases(databases);
    fresh();
    std::vector<long> writes(sizes.size(), -1);
    for (std::size_t k = 1; k < sizes.size(); ++k)
        writes[k] =
            Executor(std::to_string(sizes[k]), "", databases[k], scripts.curve, Counting::On)
                .io.syncWrites;
    const Rounds times = RunRounds(SlowRounds(options), names, fresh, contenders);

    // t(N) = F + S a + (S / N) c for S statements, a run's start and end F, a statement's own
    // cost a and a commit's cost c: the ends of the curve give c, the run of one INSERT F + a + c.
    const double s = CurveStatements;
    const auto fit = [&](std::vector<double> (*clock)(const std::vector<Timing>&)) {
        const double one = SpreadOf(clock(times[0])).median;
        const double all = SpreadOf(clock(times[sizes.size() - 1])).median;
        const double start = SpreadOf(clock(times[sizes.size()])).median;
        const double commit = (one - all) / (s - 1);
        return std::pair{commit, (all - start) / (s - 1)};
    };
    const auto [commit, statement] = fit(Walls);
    const auto [commitCpu, statementCpu] = fit(Processors);
    // A step waiting for its group's commit holds its text in its record, its prepare and its
    // replay.
    const double bytes = 3.0 * static_cast<double>(fs::file_size(scripts.curve)) / s;
    std::printf("  %-6s %-24s %-24s %-8s %-8s %-13s %-11s %s\n", "N", "wall s", "processor s",
                "us/stmt", "commits", "commit share", "sync writes", "texts held for a replay");
    for (std::size_t k = 0; k < sizes.size(); ++k) {
        const double n = sizes[k];
        const Spread wall = SpreadOf(Walls(times[k]));
        const double share = commit / n / (statement + commit / n);
        const std::string counted = writes[k] < 0 ? "-" : std::to_string(writes[k]);
        std::printf("  %-6d %-24s %-24s %-8.0f %-8.0f %-13.1f %-11s %.0f KiB\n", sizes[k],
                    Format(wall, "%.3f").c_str(),
                    Format(SpreadOf(Processors(times[k])), "%.3f").c_str(), 1e6 * wall.median / s,
                    std::ceil(s / n), 100 * share, counted.c_str(), n * bytes / 1024);
        Note("groups: " + names[k] + ", " + std::to_string(CurveStatements) + " INSERTs (s)", wall,
             "%.3f");
    }
    std::printf("  from the curve: a commit %.2f ms (processor %.2f ms), a statement %.0f us "
                "(processor %.0f us); a group of N spends c / (c + N a) of its time committing\n",
                1e3 * commit, 1e3 * commitCpu, 1e6 * statement, 1e6 * statementCpu);
    const update::GroupPolicy grouped = update::GroupPolicy::Grouped();
    std::printf("  the installer's groups (GroupPolicy::Grouped): %zu statements, %lld ms, %zu MiB "
                "of text\n",
                grouped.maxSteps, static_cast<long long>(grouped.maxAge.count()),
                grouped.maxBytes >> 20);
}

// The blob files of a package: a table of as many rows and a file for each.
inline constexpr int BlobFiles = 1500;

std::string BlobTable() {
    std::string ddl = "CREATE TABLE BLOBS (ID INTEGER NOT NULL PRIMARY KEY, DATA BLOB SUB_TYPE "
                      "0);\nCOMMIT;\n";
    for (int i = 1; i <= BlobFiles; ++i)
        ddl += "INSERT INTO BLOBS (ID) VALUES (" + std::to_string(i) + ");\n";
    return ddl;
}

// An update folder whose up/ holds the blob files alone: 1 to 32 KiB each, some 24 MB.
std::size_t WriteBlobFolder(const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder / "up");
    std::size_t total = 0;
    unsigned state = 2024;
    for (int i = 1; i <= BlobFiles; ++i) {
        const std::size_t size = 1024u * (1u + static_cast<unsigned>(i * 37) % 32u);
        std::string bytes(size, '\0');
        for (char& c : bytes)
            c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
        std::ofstream(folder / "up" / ("BLOBS.DATA.ID " + std::to_string(i) + ".blo"),
                      std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        total += size;
    }
    return total;
}

void BlobPhase(const Options& options) {
    const fs::path& folder = options.folder;
    Section("The blob phase of " + std::to_string(BlobFiles) +
            " files through the update folder runner, embedded engine, forced writes");
    const fs::path groupedDb = folder / "blobs-grouped.fdb";
    const fs::path oneDb = folder / "blobs-one.fdb";
    const fs::path groupedFolder = folder / "blobs-grouped";
    const fs::path oneFolder = folder / "blobs-one";
    const std::string table = BlobTable();
    std::size_t bytes = 0;
    const auto prepare = [&] {
        for (const fs::path& database : {groupedDb, oneDb}) {
            CreateDatabase(database, table, Writes::Forced);
            AddJournal(database);
        }
        // The runner renames the files it loaded.
        bytes = WriteBlobFolder(groupedFolder);
        WriteBlobFolder(oneFolder);
    };
    const auto folderRun = [&](const fs::path& database, const fs::path& updateFolder,
                               const char* groups) {
        return Child("folder " + Quoted(database) + " " + Quoted(updateFolder) + " " + groups,
                     Counting::Off)
            .timing;
    };
    const std::vector<std::string> names{"grouped", "one file a transaction"};
    const Rounds times = RunRounds(options.rounds, names, prepare,
                                   {[&] { return folderRun(groupedDb, groupedFolder, "grouped"); },
                                    [&] { return folderRun(oneDb, oneFolder, "one"); }});
    std::printf("  %d files, %.1f MiB\n", BlobFiles, static_cast<double>(bytes) / (1 << 20));
    PrintTimes(names, times);
    const Spread grouped = SpreadOf(Walls(times[0]));
    const Spread one = SpreadOf(Walls(times[1]));
    const Spread ratio = SpreadOf(Ratios(times[0], times[1], Clocks::Wall));
    std::printf("  a file: grouped %.2f ms, one a transaction %.2f ms; grouped / one %s\n",
                1e3 * grouped.median / BlobFiles, 1e3 * one.median / BlobFiles,
                Format(ratio, "%.3f").c_str());
    Note("blob phase, 1,500 files, grouped (s)", grouped, "%.3f");
    Note("blob phase, 1,500 files, one file a transaction (s)", one, "%.3f");
}

// The Qt window under Xvfb, in a child process with a display of its own.
void Window(const Options& options) {
    Section(std::to_string(WindowStatements) +
            " INSERTs, asynchronous writes, in the Qt window under Xvfb against a window that "
            "draws nothing");
    const std::string output = Capture(
        "xvfb-run -a -s '-screen 0 1024x768x24' env QT_QPA_PLATFORM=xcb " + Quoted(Self()) +
        " window " + Quoted(options.folder) + " " + std::to_string(options.rounds) + " 100");
    std::vector<double> window, null, shares, cpuShares, lineShares, statementCosts, pumps;
    std::vector<double> timedShares, timedPumps, timedLines, handledPumps, handledPumpCosts;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::printf("  %s\n", line.c_str());
        if (line.rfind("round=", 0) == 0) {
            window.push_back(ValueOf(line, "window"));
            null.push_back(ValueOf(line, "null"));
            shares.push_back(100.0 * (window.back() - null.back()) / window.back());
            const double windowCpu = ValueOf(line, "window_cpu");
            cpuShares.push_back(100.0 * (windowCpu - ValueOf(line, "null_cpu")) / windowCpu);
        } else if (line.rfind("alternating=", 0) == 0) {
            const double windowLine = ValueOf(line, "window_line_us");
            lineShares.push_back(100.0 * (windowLine - ValueOf(line, "null_line_us")) / windowLine);
            statementCosts.push_back(ValueOf(line, "window_statement_us") -
                                     ValueOf(line, "null_statement_us"));
            pumps.push_back(ValueOf(line, "pump_us"));
        } else if (line.rfind("timed=", 0) == 0) {
            const double lineUs = ValueOf(line, "line_us");
            const double inWindow =
                ValueOf(line, "bar_us") + ValueOf(line, "caption_us") + ValueOf(line, "pump_us");
            timedShares.push_back(100.0 * inWindow / lineUs);
            timedLines.push_back(lineUs);
            timedPumps.push_back(ValueOf(line, "pump_us"));
            handledPumps.push_back(ValueOf(line, "slow_pumps"));
            handledPumpCosts.push_back(ValueOf(line, "slow_pump_us"));
        }
    }
    // Whole runs one after the other show the machine's noise as much as the window.
    std::printf("  whole runs: window %s s, no window %s s; the window's share %s%% in wall time, "
                "%s%% in processor time\n",
                Format(SpreadOf(window), "%.3f").c_str(), Format(SpreadOf(null), "%.3f").c_str(),
                Format(SpreadOf(shares), "%.1f").c_str(),
                Format(SpreadOf(cpuShares), "%.1f").c_str());
    std::printf("  lines in turns: the window's share of a line %s%%; its pump %s us a line, and "
                "the statement after it runs %s us longer\n",
                Format(SpreadOf(lineShares), "%.1f").c_str(),
                Format(SpreadOf(pumps), "%.2f").c_str(),
                Format(SpreadOf(statementCosts), "%.2f").c_str());
    // The decisive measure: every line in the window, the time inside its calls.
    const Spread timedShare = SpreadOf(timedShares);
    std::printf("  every line in the window: its calls take %s%% of a line of %s us; the pump %s "
                "us a line, %s pumps a run over 20 us (those that paint), %s us each\n",
                Format(timedShare, "%.1f").c_str(), Format(SpreadOf(timedLines), "%.1f").c_str(),
                Format(SpreadOf(timedPumps), "%.2f").c_str(),
                Format(SpreadOf(handledPumps), "%.0f").c_str(),
                Format(SpreadOf(handledPumpCosts), "%.0f").c_str());
    // SET lines reach no database: the window's own work on a line, without the engine.
    const double perLine = ValueOf(output, "per_line_ns");
    std::printf("  SET lines: the window's own work %.0f ns a line\n", perLine);
    // Lines in turns begin every turn with a pump that paints: paints come some three times as
    // often for the window's lines as in a run of its own, so they inform but do not decide.
    Note("Qt window: share of an async line, lines in turns (%)", SpreadOf(lineShares), "%.1f");
    Judge("Qt window: share of whole async runs, processor time (%)", SpreadOf(cpuShares), "%.1f",
          5.0, "< 5");
    Judge("Qt window: its calls' share of an async run's line (%)", timedShare, "%.1f", 5.0, "< 5");
}

// The peak memory of a child run over what the process held before it.
double PeakMiB(const std::string& output) {
    return (ValueOf(output, "peak_kib") - ValueOf(output, "rss_before_kib")) / 1024;
}

// A script of 50 MB: 500,000 lines of about 100 bytes, INSERTs of 20 lines.
void ScriptMemory(const Options& options) {
    const fs::path& folder = options.folder;
    const fs::path big = folder / "big.sql";
    {
        std::ofstream out(big, std::ios::binary);
        const std::string piece(93, 'x');
        for (int i = 1; i <= 25000; ++i) {
            out << "INSERT INTO BIG (ID, TXT) VALUES (" << i << ",\r\n";
            for (int j = 0; j < 18; ++j)
                out << "    '" << piece << "' ||\r\n";
            out << "    '" << piece << "');\r\n";
        }
    }
    const double sizeMiB = static_cast<double>(fs::file_size(big)) / (1024.0 * 1024.0);
    std::printf("  a script of %.1f MiB, 500,000 lines, 25,000 INSERTs (forced writes, grouped, "
                "with the journal)\n",
                sizeMiB);
    const fs::path bigDb = folder / "big.fdb";
    std::vector<double> times, cpus, peaks;
    for (int round = 0; round < std::max(2, options.rounds / 3); ++round) {
        CreateDatabase(bigDb, "CREATE TABLE BIG (ID INTEGER, TXT VARCHAR(2000));", Writes::Forced);
        AddJournal(bigDb);
        Run("sync");
        const std::string run = Capture(Quoted(Self()) + " script-memory " + Quoted(bigDb) + " " +
                                        Quoted(big) + " 500000");
        if (ValueOf(run, "failures") != 0) {
            std::fprintf(stderr, "the big script failed:\n%s", run.c_str());
            std::exit(1);
        }
        times.push_back(ValueOf(run, "seconds"));
        cpus.push_back(ValueOf(run, "cpu"));
        peaks.push_back(PeakMiB(run));
        std::printf("  round %d: %.3f s (processor %.3f s), peak +%.1f MiB\n", round + 1,
                    times.back(), cpus.back(), peaks.back());
        std::fflush(stdout);
    }
    std::printf("  the script: %s s, processor %s s, peak +%s MiB (limit %.0f MiB)\n",
                Format(SpreadOf(times), "%.3f").c_str(), Format(SpreadOf(cpus), "%.3f").c_str(),
                Format(SpreadOf(peaks), "%.1f").c_str(), 2 * sizeMiB + 30);
    Note("script of 50 MB: time (s)", SpreadOf(times), "%.3f");
    Judge("script of 50 MB: peak memory over the attached process (MiB)", SpreadOf(peaks), "%.0f",
          2 * sizeMiB + 30, "<= 2 x size + 30 MiB");
}

// A blob file read whole and loaded: time and peak memory over the process's own.
void BlobMemory(const Options& options) {
    const fs::path& folder = options.folder;
    constexpr std::size_t BlobBytes = 200u * 1000u * 1000u;
    std::printf("  a blob file of %zu MB: whole-file read and BlobLoader (asynchronous writes)\n",
                BlobBytes / 1000000);
    const fs::path blob = folder / "BLOBS.DATA.ID 1.blo";
    {
        std::ofstream out(blob, std::ios::binary | std::ios::trunc);
        std::vector<char> chunk(1 << 20);
        unsigned state = 12345;
        for (std::size_t done = 0; done < BlobBytes; done += chunk.size()) {
            for (char& c : chunk)
                c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
            out.write(chunk.data(),
                      static_cast<std::streamsize>(std::min(chunk.size(), BlobBytes - done)));
        }
    }
    const double fileMiB = static_cast<double>(BlobBytes) / (1024.0 * 1024.0);
    const double limitMiB = (1.1 * static_cast<double>(BlobBytes) + 30e6) / (1024.0 * 1024.0);
    const fs::path database = folder / "blob.fdb";
    std::vector<double> readTimes, readPeaks, loadTimes, loadPeaks, catTimes;
    for (int round = 0; round < std::max(2, options.rounds / 3); ++round) {
        CreateDatabase(database,
                       "CREATE TABLE BLOBS (ID INTEGER, DATA BLOB SUB_TYPE 0);\n"
                       "INSERT INTO BLOBS (ID) VALUES (1);",
                       Writes::Async);
        Run("sync");
        const auto catStart = Clock::now();
        Run("cat " + Quoted(blob) + " >/dev/null");
        catTimes.push_back(Seconds(Clock::now() - catStart));
        const std::string read = Capture(Quoted(Self()) + " read " + Quoted(blob));
        readTimes.push_back(ValueOf(read, "seconds"));
        readPeaks.push_back(PeakMiB(read));
        const std::string load =
            Capture(Quoted(Self()) + " blob " + Quoted(database) + " " + Quoted(blob));
        if (ValueOf(load, "loaded") != 1) {
            std::fprintf(stderr, "the blob file did not load:\n%s", load.c_str());
            std::exit(1);
        }
        loadTimes.push_back(ValueOf(load, "seconds"));
        loadPeaks.push_back(PeakMiB(load));
        std::printf("  round %d: cat %.3f s, ReadWholeFile %.3f s +%.0f MiB, LoadBlobFile %.3f s "
                    "+%.0f MiB\n",
                    round + 1, catTimes.back(), readTimes.back(), readPeaks.back(),
                    loadTimes.back(), loadPeaks.back());
        std::fflush(stdout);
    }
    std::printf(
        "  cat %s s; ReadWholeFile %s s, peak +%s MiB; LoadBlobFile %s s, peak +%s MiB "
        "(file %.0f MiB, limit %.0f MiB)\n",
        Format(SpreadOf(catTimes), "%.3f").c_str(), Format(SpreadOf(readTimes), "%.3f").c_str(),
        Format(SpreadOf(readPeaks), "%.0f").c_str(), Format(SpreadOf(loadTimes), "%.3f").c_str(),
        Format(SpreadOf(loadPeaks), "%.0f").c_str(), fileMiB, limitMiB);
    Judge("blob file of 200 MB: peak memory (MiB)", SpreadOf(loadPeaks), "%.0f", limitMiB,
          "<= 1.1 x file + 30 MB");
}

void Memory(const Options& options) {
    Section("Time and peak memory of large files");
    ScriptMemory(options);
    BlobMemory(options);
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    options.folder = fs::temp_directory_path() / "norvane-bench";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--rounds" && i + 1 < argc) {
            options.rounds = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--only" && i + 1 < argc) {
            std::stringstream list(argv[++i]);
            for (std::string section; std::getline(list, section, ',');)
                options.only.insert(section);
        } else {
            options.folder = argument;
        }
    }
    return options;
}

int Main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    fs::create_directories(options.folder);
    // Firebird's shared memory of this run only, unless the caller chose one: a process that
    // dies holding one of its mutexes elsewhere on the machine cannot stall this run.
    if (const char* lock = std::getenv("FIREBIRD_LOCK"); lock == nullptr || *lock == '\0') {
        const fs::path ownLock = options.folder / "firebird-lock";
        fs::create_directories(ownLock);
        ::setenv("FIREBIRD_LOCK", ownLock.c_str(), 1);
    }
    const Scripts scripts = WriteScripts(options.folder);
    std::printf("rounds: %d; each figure is the median with the range of the rounds; load "
                "average at the start: %s\n",
                options.rounds, LoadAverage().c_str());
    const auto start = Clock::now();

    if (options.Wants("forced"))
        ForcedWrites(options, scripts);
    if (options.Wants("server"))
        Server(options, scripts);
    if (options.Wants("groups"))
        GroupSizes(options, scripts);
    if (options.Wants("blobs"))
        BlobPhase(options);
    if (options.Wants("window"))
        Window(options);
    if (options.Wants("memory"))
        Memory(options);

    std::printf("\n%.0f s in all; load average at the end: %s\n", Seconds(Clock::now() - start),
                LoadAverage().c_str());
    std::printf("\n%-66s %-26s %s\n", "measure", "median (range)", "target");
    bool allMet = true;
    for (const Verdict& verdict : g_verdicts) {
        std::printf("%-66s %-26s %s%s\n", verdict.measure.c_str(), verdict.value.c_str(),
                    verdict.target.c_str(), verdict.met ? "" : "  NOT MET");
        allMet = allMet && verdict.met;
    }
    return allMet ? 0 : 3;
}

} // namespace

} // namespace norvane::bench

int main(int argc, char** argv) {
    using namespace norvane::bench;
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "executor" && argc == 7)
        return ExecutorChild(argv[2], argv[3], argv[4], std::atoi(argv[5]), argv[6]);
    if (mode == "journal" && argc == 3)
        return JournalChild(argv[2]);
    if (mode == "folder" && argc == 5)
        return FolderChild(argv[2], argv[3], argv[4]);
    if (mode == "read" && argc == 3)
        return ReadChild(argv[2]);
    if (mode == "blob" && argc == 4)
        return BlobChild(argv[2], argv[3]);
    if (mode == "script-memory" && argc == 5)
        return ScriptMemoryChild(argv[2], argv[3], std::atoi(argv[4]));
    if (mode == "window" && argc == 5)
        return WindowChild(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    return Main(argc, argv);
}
