#pragma once

// What the benchmark's parts share: commands, databases and scripts made for a run, the
// executor run itself, and the statistics of rounds.

#include "ui/window.h"
#include "update/update_context.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::bench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline constexpr const char* Password = "quillbark";
/// The statements of the scripts run with forced writes, where isql-fb commits each of them
/// (some 8 ms a commit on this machine's disk).
inline constexpr int Statements = 5000;
/// The statements of the window's runs, with asynchronous writes.
inline constexpr int WindowStatements = 10000;

/// This program, for the runs it starts as child processes.
std::string Self();
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
/// Makes the update journal's table in database, as a database the installer updated before
/// has it (through this program's "journal" run): the installer makes it once, before its
/// first package, never for a script.
void AddJournal(const fs::path& database);
/// The name isql-fb and the executor attach to: the path, or server:path.
std::string DatabaseName(const std::string& server, const fs::path& path);

enum class FinalCommit { None, AfterLast };

/// INSERT statements into T (ID, NAME), one a line, with a COMMIT line after every
/// commitEvery of them (0: none) and, if asked, one after the last.
void WriteInserts(const fs::path& path, int statements, int commitEvery,
                  FinalCommit final = FinalCommit::None);
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

/// The grouping a child run is told by name: "grouped" (the installer's), "one" (a
/// transaction a statement) or a number of statements a group, with no limit of age or size.
update::GroupPolicy PolicyNamed(const std::string& name);

struct ExecutorRun {
    double seconds = 0;
    /// Processor time of the process over the same span, all its threads.
    double cpuSeconds = 0;
    int failures = 0;
    /// What ExecuteScript alone asked of the disk and the network.
    IoCounts io;
};

/// ExecuteScript on script (lines long) in window, as the installer runs it: the update journal
/// recording the groups, the bar sized to the lines; repeats times on one attachment, each as
/// a package of its own so that none is passed over as done. The time counts from loading the
/// client library to the end of the last run, as isql-fb's does from its start.
ExecutorRun RunExecutor(ui::Window& window, const std::string& server, const fs::path& database,
                        const fs::path& script, int lines, const update::GroupPolicy& groups,
                        int repeats = 1);

/// The update folder runner on folder (its up/ holding blob files alone), with the journal.
ExecutorRun RunFolder(const fs::path& database, const fs::path& folder,
                      const update::GroupPolicy& groups);

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
