// Measures the update steps against what the machine allows: ExecuteScript against isql-fb
// (a COMMIT after each statement), against the disk's floor (as many synchronous page writes
// as its commits need) and over a loopback server; the Qt window's cost under Xvfb; the time
// and peak memory of whole-file reads and of a blob file load.
//
//   script_bench [folder] [--rounds N] [--only forced,journal,async,server,window,memory]
//
// Every ratio is printed as the median of the rounds with their range; each round runs the
// contenders on fresh databases in a rotating order, so that neither profits from a warm
// cache or a quiet moment of the machine. The other forms are the runs the first one starts
// as child processes:
//
//   script_bench executor <server|-> <database> <script> <lines>
//   script_bench read <file>
//   script_bench blob <database> <blob file>
//   script_bench script-memory <database> <script> <lines>
//   script_bench window <folder> <rounds> <SET script runs>   (needs a display: Xvfb)

#include "bench_support.h"
#include "window_bench.h"

#include "db/glob_db.h"
#include "platform/files.h"
#include "update/blob_loader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

namespace norvane::bench {

namespace {

std::string Self() {
    return fs::canonical("/proc/self/exe").string();
}

// ---------------------------------------------------------------------------------------------
// Child runs

int ExecutorChild(const std::string& server, const fs::path& database, const fs::path& script,
                  int lines) {
    NullWindow window;
    const ExecutorRun run =
        RunExecutor(window, server == "-" ? "" : server, database, script, lines);
    std::printf("seconds=%.6f cpu=%.6f failures=%d sync_writes=%ld round_trips=%ld "
                "sync_write_seconds=%.6f\n",
                run.seconds, run.cpuSeconds, run.failures, run.io.syncWrites, run.io.roundTrips,
                run.io.syncWriteSeconds);
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
    std::string logFile;
    db::CGlobDB globDB("", "", database.string());
    update::UpdateContext context{globDB, window, logFile};
    const long before = CurrentRssKiB();
    const auto start = Clock::now();
    const update::BlobLoad load = update::LoadBlobFile(context, blob.string());
    const double seconds = Seconds(Clock::now() - start);
    std::printf("seconds=%.6f loaded=%d rss_before_kib=%ld peak_kib=%ld\n", seconds,
                load == update::BlobLoad::Loaded ? 1 : 0, before, PeakRssKiB());
    return 0;
}

int ScriptMemoryChild(const fs::path& database, const fs::path& script, int lines) {
    NullWindow window;
    // Attached first, so that the client library and the engine are not counted.
    { db::CGlobDB warm("", "", database.string()); }
    const long before = CurrentRssKiB();
    const ExecutorRun run = RunExecutor(window, "", database, script, lines);
    std::printf("seconds=%.6f failures=%d rss_before_kib=%ld peak_kib=%ld\n", run.seconds,
                run.failures, before, PeakRssKiB());
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Contenders

// The executor in a child process of its own; counted runs have the I/O counter preloaded.
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

// How the executor is run: the update context it works with. The environment reaches the
// executor's process, where RunExecutor makes the context; the executor as it is has none.
struct Variant {
    std::string name;
    std::string environment;
    // The executor / isql-fb ratio to meet: the journal may cost its own record a statement.
    double isqlLimit = 0.75;
};

Measured Executor(const Variant& variant, const std::string& server, const fs::path& database,
                  const fs::path& script, Counting counting) {
    const double cpuBefore = ChildrenCpuSeconds();
    const std::string output =
        Capture(variant.environment + Preload(counting) + Quoted(Self()) + " executor " +
                (server.empty() ? "-" : server) + " " + Quoted(database) + " " + Quoted(script) +
                " " + std::to_string(Statements));
    if (ValueOf(output, "failures") != 0) {
        std::fprintf(stderr, "the executor's statements failed:\n%s", output.c_str());
        std::exit(1);
    }
    Measured run;
    // The processor time of the whole process, as isql-fb's is taken.
    run.timing = {ValueOf(output, "seconds"), ChildrenCpuSeconds() - cpuBefore};
    run.io.syncWrites = static_cast<long>(ValueOf(output, "sync_writes"));
    run.io.roundTrips = static_cast<long>(ValueOf(output, "round_trips"));
    run.io.syncWriteSeconds = ValueOf(output, "sync_write_seconds");
    return run;
}

Measured Isql(const std::string& server, const fs::path& database, const fs::path& script,
              Counting counting, const fs::path& folder) {
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

// The page size from a database's header page: after the 16-byte page header.
int PageSize(const fs::path& database) {
    std::ifstream in(database, std::ios::binary);
    unsigned char bytes[18] = {};
    in.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    return bytes[16] | (bytes[17] << 8);
}

// The disk's floor: writes synchronous page writes, as the engine does them with forced
// writes (O_DSYNC), over a few pages of a file that already holds them, beside the database.
Timing Floor(const fs::path& folder, long writes, int pageSize) {
    constexpr int Pages = 16;
    const fs::path path = folder / "floor.bin";
    std::vector<char> page(static_cast<std::size_t>(pageSize), '\x5a');
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (int i = 0; i < Pages; ++i)
            out.write(page.data(), pageSize);
    }
    Run("sync");
    const int fd = ::open(path.c_str(), O_WRONLY | O_DSYNC | O_CLOEXEC);
    if (fd < 0) {
        std::perror("floor file");
        std::exit(1);
    }
    const double cpuStart = CpuSeconds();
    const auto start = Clock::now();
    for (long i = 0; i < writes; ++i) {
        page[0] = static_cast<char>(i);
        const off_t offset = static_cast<off_t>(i % Pages) * pageSize;
        if (::pwrite(fd, page.data(), page.size(), offset) != static_cast<ssize_t>(page.size())) {
            std::perror("floor write");
            std::exit(1);
        }
    }
    const Timing timing{Seconds(Clock::now() - start), CpuSeconds() - cpuStart};
    ::close(fd);
    return timing;
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

// The closing table: one line per measure, with its target.
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

void PrintTimes(const std::vector<std::string>& names, const Rounds& times) {
    for (std::size_t k = 0; k < names.size(); ++k)
        std::printf("  %-10s %s s, processor %s s\n", names[k].c_str(),
                    Format(SpreadOf(Walls(times[k])), "%.3f").c_str(),
                    Format(SpreadOf(Processors(times[k])), "%.3f").c_str());
}

// The executor against isql-fb, in wall time (the target) and processor time.
void CompareWithIsql(const std::string& setting, const Rounds& times, double limit,
                     const std::string& target) {
    const Spread wall = SpreadOf(Ratios(times[0], times[1], Clocks::Wall));
    const Spread processor = SpreadOf(Ratios(times[0], times[1], Clocks::Processor));
    std::printf("  executor / isql-fb: %s wall time, %s processor time\n",
                Format(wall, "%.3f").c_str(), Format(processor, "%.3f").c_str());
    Judge(setting + ": executor / isql-fb", wall, "%.3f", limit, target);
    Judge(setting + ": the same in processor time", processor, "%.3f", limit, target);
}

// ---------------------------------------------------------------------------------------------
// Sections

struct Options {
    fs::path folder;
    int rounds = 6;
    std::set<std::string> only;
    bool Wants(const std::string& section) const { return only.empty() || only.count(section); }
};

struct Scripts {
    fs::path executor; // the INSERTs alone
    fs::path isql;     // each INSERT followed by COMMIT
    fs::path isqlOne;  // one INSERT and its COMMIT: isql-fb's cost apart from the statements
};

// Before each round: the executor's database and isql-fb's, made anew and empty.
std::function<void()> FreshDatabases(const fs::path& executorDb, const fs::path& isqlDb,
                                     Writes writes) {
    return [executorDb, isqlDb, writes] {
        CreateDatabase(executorDb, InsertsTable, writes);
        CreateDatabase(isqlDb, InsertsTable, writes);
    };
}

// Embedded engine, database defaults (forced writes): the executor against isql-fb and
// against the disk's floor.
void ForcedWrites(const Options& options, const Scripts& scripts, const Variant& variant) {
    const fs::path& folder = options.folder;
    const std::string setting = "embedded, forced writes" + variant.name;
    std::printf("\n%d INSERTs, embedded engine, forced writes (the database's default)%s\n",
                Statements, variant.name.c_str());
    const fs::path executorDb = folder / "executor.fdb";
    const fs::path isqlDb = folder / "isql.fdb";
    const auto prepare = FreshDatabases(executorDb, isqlDb, Writes::Forced);

    // What the commits ask of the disk, counted once, apart from the timed rounds.
    prepare();
    const Measured counted = Executor(variant, "", executorDb, scripts.executor, Counting::On);
    const Measured isqlCounted = Isql("", isqlDb, scripts.isql, Counting::On, folder);
    const long floorWrites = counted.io.syncWrites;
    const int pageSize = PageSize(executorDb);
    std::printf("  synchronous writes a statement: executor %.2f, isql-fb %.2f (whole run); the "
                "floor makes %ld writes of %d bytes\n",
                static_cast<double>(counted.io.syncWrites) / Statements,
                static_cast<double>(isqlCounted.io.syncWrites) / Statements, floorWrites, pageSize);
    const double outside = counted.timing.wall - counted.io.syncWriteSeconds;
    std::printf("  counted run: %.3f s, %.3f s of it in its synchronous writes (%.0f us each), "
                "%.0f us a statement outside them\n",
                counted.timing.wall, counted.io.syncWriteSeconds,
                1e6 * counted.io.syncWriteSeconds / static_cast<double>(floorWrites),
                1e6 * outside / Statements);

    const std::vector<std::string> names{"executor", "isql-fb", "floor"};
    const Rounds times = RunRounds(
        options.rounds, names, prepare,
        {[&] { return Executor(variant, "", executorDb, scripts.executor, Counting::Off).timing; },
         [&] { return Isql("", isqlDb, scripts.isql, Counting::Off, folder).timing; },
         [&] { return Floor(folder, floorWrites, pageSize); }});
    PrintTimes(names, times);
    CompareWithIsql(setting, times, variant.isqlLimit,
                    variant.isqlLimit == 0.75 ? "<= 0.75" : "<= 0.85");
    const Spread floorRatio = SpreadOf(Ratios(times[0], times[2], Clocks::Wall));
    const double leastRatio = SpreadOf(Walls(times[0])).min / SpreadOf(Walls(times[2])).min;
    std::printf("  executor / floor: %s; of the least disturbed runs (fastest of each) %.3f\n",
                Format(floorRatio, "%.3f").c_str(), leastRatio);
    // Where the executor's time beyond the floor goes: its writes against the floor's, and
    // the work between them.
    const double floorWrite = SpreadOf(Walls(times[2])).median / static_cast<double>(floorWrites);
    const double executorStatement = SpreadOf(Walls(times[0])).median / Statements;
    std::printf(
        "  a synchronous write: %.0f us in the floor, %.0f us in the counted run; a "
        "statement: %.0f us, %.0f us of it beyond its writes at the floor's pace\n",
        1e6 * floorWrite, 1e6 * counted.io.syncWriteSeconds / static_cast<double>(floorWrites),
        1e6 * executorStatement,
        1e6 * (executorStatement - floorWrite * static_cast<double>(floorWrites) / Statements));
    Judge(setting + ": executor / floor", floorRatio, "%.3f", 1.15, "<= 1.15");
}

// Embedded engine with asynchronous writes: what is left is the work on the processor.
void AsyncWrites(const Options& options, const Scripts& scripts) {
    const fs::path& folder = options.folder;
    std::printf("\n%d INSERTs, embedded engine, asynchronous writes (gfix -write async)\n",
                Statements);
    const fs::path executorDb = folder / "executor-async.fdb";
    const fs::path isqlDb = folder / "isql-async.fdb";
    const std::vector<std::string> names{"executor", "isql-fb"};
    const Rounds times = RunRounds(
        options.rounds, names, FreshDatabases(executorDb, isqlDb, Writes::Async),
        {[&] { return Executor({}, "", executorDb, scripts.executor, Counting::Off).timing; },
         [&] { return Isql("", isqlDb, scripts.isql, Counting::Off, folder).timing; }});
    PrintTimes(names, times);
    CompareWithIsql("embedded, async writes", times, 0.75, "<= 0.75");
}

// The loopback server: our own on NORVANE_FB_PORT unless NORVANE_TEST_SERVER names one.
class LoopbackServer {
public:
    LoopbackServer() {
        if (const char* given = std::getenv("NORVANE_TEST_SERVER"); given && *given) {
            m_name = given;
            return;
        }
        const std::string script = Quoted(fs::path(NORVANE_SOURCE_DIR) / "scripts/firebird-server");
        Run(script + " start");
        m_stop = script + " stop";
        m_name = Capture(script + " name");
        while (!m_name.empty() && (m_name.back() == '\n' || m_name.back() == '\r'))
            m_name.pop_back();
    }
    ~LoopbackServer() {
        if (!m_stop.empty())
            std::system(m_stop.c_str());
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    const std::string& Name() const { return m_name; }

private:
    std::string m_name;
    std::string m_stop;
};

void Server(const Options& options, const Scripts& scripts) {
    const fs::path& folder = options.folder;
    LoopbackServer server;
    std::printf("\n%d INSERTs over the loopback server %s, asynchronous writes\n", Statements,
                server.Name().c_str());
    const fs::path executorDb = folder / "server-executor.fdb";
    const fs::path isqlDb = folder / "server-isql.fdb";
    const auto prepare = FreshDatabases(executorDb, isqlDb, Writes::Async);

    prepare();
    const Measured counted =
        Executor({}, server.Name(), executorDb, scripts.executor, Counting::On);
    // isql-fb's own start and end are taken off with a run of one statement.
    const Measured isqlAll = Isql(server.Name(), isqlDb, scripts.isql, Counting::On, folder);
    const Measured isqlOne = Isql(server.Name(), isqlDb, scripts.isqlOne, Counting::On, folder);
    const double executorTrips = static_cast<double>(counted.io.roundTrips) / Statements;
    const double isqlTrips =
        static_cast<double>(isqlAll.io.roundTrips - isqlOne.io.roundTrips) / (Statements - 1);
    std::printf("  round trips a statement: executor %.2f, isql-fb %.2f\n", executorTrips,
                isqlTrips);

    const std::vector<std::string> names{"executor", "isql-fb"};
    const Rounds times = RunRounds(
        options.rounds, names, prepare,
        {[&] {
             return Executor({}, server.Name(), executorDb, scripts.executor, Counting::Off).timing;
         },
         [&] { return Isql(server.Name(), isqlDb, scripts.isql, Counting::Off, folder).timing; }});
    PrintTimes(names, times);
    // The server's work is in neither process: wall time only.
    const Spread ratio = SpreadOf(Ratios(times[0], times[1], Clocks::Wall));
    std::printf("  executor / isql-fb: %s wall time\n", Format(ratio, "%.3f").c_str());
    Judge("loopback server: executor / isql-fb", ratio, "%.3f", 0.55, "<= 0.55");
}

// The Qt window under Xvfb, in a child process with a display of its own.
void Window(const Options& options) {
    std::printf("\n%d INSERTs, asynchronous writes, in the Qt window under Xvfb against a window "
                "that draws nothing\n",
                Statements);
    std::fflush(stdout);
    const std::string output = Capture(
        "xvfb-run -a -s '-screen 0 1024x768x24' env QT_QPA_PLATFORM=xcb " + Quoted(Self()) +
        " window " + Quoted(options.folder) + " " + std::to_string(options.rounds) + " 100");
    std::vector<double> window, null, shares, lineShares, statementCosts, bars, pumps;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::printf("  %s\n", line.c_str());
        if (line.rfind("round=", 0) == 0) {
            window.push_back(ValueOf(line, "window"));
            null.push_back(ValueOf(line, "null"));
            shares.push_back(100.0 * (window.back() - null.back()) / window.back());
        } else if (line.rfind("alternating=", 0) == 0) {
            const double windowLine = ValueOf(line, "window_line_us");
            lineShares.push_back(100.0 * (windowLine - ValueOf(line, "null_line_us")) / windowLine);
            statementCosts.push_back(ValueOf(line, "window_statement_us") -
                                     ValueOf(line, "null_statement_us"));
            bars.push_back(ValueOf(line, "bar_us"));
            pumps.push_back(ValueOf(line, "pump_us"));
        }
    }
    // Whole runs one after the other show the machine's noise as much as the window.
    std::printf("  whole runs: window %s s, no window %s s; the window's share %s%%\n",
                Format(SpreadOf(window), "%.3f").c_str(), Format(SpreadOf(null), "%.3f").c_str(),
                Format(SpreadOf(shares), "%.1f").c_str());
    // Lines handed to the window and to none in turns within one run share the machine's
    // moments: the decisive measure.
    const Spread lineShare = SpreadOf(lineShares);
    std::printf("  lines in turns: the window's share of a line %s%%; of it, setting the bar %s "
                "us, the pump %s us, and the statement after them runs %s us longer\n",
                Format(lineShare, "%.1f").c_str(), Format(SpreadOf(bars), "%.2f").c_str(),
                Format(SpreadOf(pumps), "%.2f").c_str(),
                Format(SpreadOf(statementCosts), "%.2f").c_str());
    // SET lines reach no database: the window's own work on a line, without the engine.
    const double perLine = ValueOf(output, "per_line_ns");
    std::printf("  SET lines: the window's own work %.0f ns a line, %.1f%% of a window's run\n",
                perLine, 100.0 * perLine * 1e-9 * Statements / SpreadOf(window).median);
    Judge("Qt window: its share of an async run's line (%)", lineShare, "%.1f", 5.0, "< 5");
}

// Whole-file reads and the blob file load: time and peak memory over the process's own.
void Memory(const Options& options) {
    const fs::path& folder = options.folder;
    constexpr std::size_t BlobBytes = 200u * 1000u * 1000u;
    std::printf("\nA blob file of %zu MB: whole-file read and LoadBlobFile (asynchronous writes)\n",
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
    for (int round = 0; round < std::max(3, options.rounds / 2); ++round) {
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
        readPeaks.push_back((ValueOf(read, "peak_kib") - ValueOf(read, "rss_before_kib")) / 1024);
        const std::string load =
            Capture(Quoted(Self()) + " blob " + Quoted(database) + " " + Quoted(blob));
        if (ValueOf(load, "loaded") != 1) {
            std::fprintf(stderr, "the blob file did not load:\n%s", load.c_str());
            std::exit(1);
        }
        loadTimes.push_back(ValueOf(load, "seconds"));
        loadPeaks.push_back((ValueOf(load, "peak_kib") - ValueOf(load, "rss_before_kib")) / 1024);
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
    Judge("blob file load: peak memory over the file (MiB)", SpreadOf(loadPeaks), "%.0f", limitMiB,
          "<= 1.1 x file + 30 MB");

    // A script of several megabytes: 500,000 lines of about 100 bytes, INSERTs of 20 lines.
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
    const fs::path bigDb = folder / "big.fdb";
    CreateDatabase(bigDb, "CREATE TABLE BIG (ID INTEGER, TXT VARCHAR(2000));", Writes::Async);
    const std::string run =
        Capture(Quoted(Self()) + " script-memory " + Quoted(bigDb) + " " + Quoted(big) + " 500000");
    if (ValueOf(run, "failures") != 0) {
        std::fprintf(stderr, "the big script failed:\n%s", run.c_str());
        std::exit(1);
    }
    const double sizeMiB = static_cast<double>(fs::file_size(big)) / (1024.0 * 1024.0);
    const double peakMiB = (ValueOf(run, "peak_kib") - ValueOf(run, "rss_before_kib")) / 1024;
    std::printf("  script of %.1f MiB, 500,000 lines: %.1f s, peak +%.1f MiB\n", sizeMiB,
                ValueOf(run, "seconds"), peakMiB);
    Judge("script of 50 MB: peak memory over the attached process (MiB)",
          {peakMiB, peakMiB, peakMiB}, "%.0f", 2 * sizeMiB + 30, "<= 2 x size + 30 MiB");
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
    Scripts scripts{options.folder / "inserts.sql", options.folder / "inserts-commit.sql",
                    options.folder / "insert-commit-one.sql"};
    WriteInserts(scripts.executor, Statements, Commits::None);
    WriteInserts(scripts.isql, Statements, Commits::EachStatement);
    WriteInserts(scripts.isqlOne, 1, Commits::EachStatement);
    std::printf("rounds: %d; each figure is the median with the range of the rounds\n",
                options.rounds);

    if (options.Wants("forced"))
        ForcedWrites(options, scripts, {});
    // The installer runs its scripts with the journal that makes an update resumable.
    if (options.Wants("journal"))
        ForcedWrites(options, scripts, {", with the journal", "NORVANE_BENCH_JOURNAL=1 ", 0.85});
    if (options.Wants("async"))
        AsyncWrites(options, scripts);
    if (options.Wants("server"))
        Server(options, scripts);
    if (options.Wants("window"))
        Window(options);
    if (options.Wants("memory"))
        Memory(options);

    std::printf("\n%-58s %-26s %s\n", "measure", "median (range)", "target");
    bool allMet = true;
    for (const Verdict& verdict : g_verdicts) {
        std::printf("%-58s %-26s %s%s\n", verdict.measure.c_str(), verdict.value.c_str(),
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
    if (mode == "executor" && argc == 6)
        return ExecutorChild(argv[2], argv[3], argv[4], std::atoi(argv[5]));
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
