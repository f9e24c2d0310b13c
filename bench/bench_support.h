#pragma once

// What the benchmark's parts share: commands, databases and scripts made for a run, the
// executor run itself, and the statistics of rounds.

#include "ui/window.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline constexpr const char* Password = "quillbark";
/// The statements of the measured scripts.
inline constexpr int Statements = 10000;

/// Runs a shell command; the benchmark stops when it fails.
void Run(const std::string& command);
/// Runs a shell command and returns what it wrote to standard output.
std::string Capture(const std::string& command);
/// The number after "name=" in text; the benchmark stops when it is missing.
double ValueOf(std::string_view text, std::string_view name);
/// A path for the shell, in single quotes.
std::string Quoted(const fs::path& path);

double Seconds(Clock::duration duration);
/// Processor time (user and system) of this process, and of its waited-for children.
double CpuSeconds();
double ChildrenCpuSeconds();
long PeakRssKiB();
long CurrentRssKiB();

enum class Writes { Forced, Async };

/// A new database file made by isql-fb through the embedded engine, with the tables of ddl.
void CreateDatabase(const fs::path& path, const std::string& ddl, Writes writes);
/// The name isql-fb and the executor attach to: the path, or server:path.
std::string DatabaseName(const std::string& server, const fs::path& path);

enum class Commits { None, EachStatement };

/// INSERT statements into T (ID, NAME), one a line, with a COMMIT line after each if asked.
void WriteInserts(const fs::path& path, int statements, Commits commits);
inline constexpr const char* InsertsTable = "CREATE TABLE T (ID INTEGER, NAME VARCHAR(60));";

/// A window that draws nothing and whose pump returns at once: the executor on its own.
class NullWindow : public ui::Window {
public:
    void AddStatus(std::string_view) override {}
    void MarkStatus(std::string_view) override {}
    void SetCaption(ui::Control, std::string_view) override {}
    void SetVisible(ui::Control, bool) override {}
    void SetEnabled(ui::Control, bool) override {}
    void PumpMessages() override {}
    void ShowMessageBox(std::string_view, ui::MessageKind) override {}
    void Close() override {}

protected:
    void ProgressChanged(int, int, int) override {}
};

/// Synchronous writes and socket round trips counted by the preloaded I/O counter.
struct IoCounts {
    long syncWrites = -1;
    long roundTrips = -1;
    /// The time spent in the synchronous writes.
    double syncWriteSeconds = 0;
    /// The counts so far; -1 when the counter is not loaded into this process.
    static IoCounts Now();
};

struct ExecutorRun {
    double seconds = 0;
    /// Processor time of the process over the same span, all its threads.
    double cpuSeconds = 0;
    int failures = 0;
    /// What ExecuteScript alone asked of the disk and the network.
    IoCounts io;
};

/// ExecuteScript on script (lines long) in window, as the update folder runner calls it: the
/// bar sized to the lines, the time label written; repeats times on one attachment, as the
/// runner runs a package's scripts. The time counts from loading the client library to the end
/// of the last run, as isql-fb's does from its start.
ExecutorRun RunExecutor(ui::Window& window, const std::string& server, const fs::path& database,
                        const fs::path& script, int lines, int repeats = 1);

/// Median and range of a measure over the rounds.
struct Spread {
    double median = 0;
    double min = 0;
    double max = 0;
};
Spread SpreadOf(std::vector<double> values);
/// "median (min-max)" with the given printf format for each number.
std::string Format(const Spread& spread, const char* number);

} // namespace norvane::bench
