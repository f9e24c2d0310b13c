// Runs generated scripts through ExecuteScript against embedded databases and compares the
// run with isql-fb executing the same statements, each followed by COMMIT.
//
//   script_bench [work folder]          the INSERT comparison, pumping share and memory run
//   script_bench memory <db> <script>   one memory run (started by the first form)

#include "db/glob_db.h"
#include "ui/window.h"
#include "update/script_executor.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace norvane;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr const char* Password = "quillbark";

// A window that draws nothing; its pump does a small amount of work, as an idle message
// queue would, or nothing at all.
class BenchWindow : public ui::Window {
public:
    enum class Pump { Counting, None };
    explicit BenchWindow(Pump pump) : m_pump(pump) {}

    void AddStatus(std::string_view) override {}
    void MarkStatus(std::string_view) override {}
    void SetCaption(ui::Control, std::string_view text) override { m_caption = text; }
    void SetVisible(ui::Control, bool) override {}
    void SetEnabled(ui::Control, bool) override {}
    void PumpMessages() override {
        if (m_pump == Pump::None)
            return;
        ++pumps;
        // Peek at a queue that is empty, then repaint the caption if it changed.
        checksum += m_caption.size() + static_cast<std::size_t>(ProgressPosition());
    }
    void ShowMessageBox(std::string_view, ui::MessageKind) override {}
    void Close() override {}

    long pumps = 0;
    std::size_t checksum = 0;

protected:
    void ProgressChanged(int, int, int) override {}

private:
    Pump m_pump;
    std::string m_caption;
};

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

void CreateDatabase(const fs::path& path, const std::string& ddl) {
    fs::remove(path);
    const fs::path script = path.string() + ".create.sql";
    std::ofstream(script) << "CREATE DATABASE '" << path.string() << "' USER 'SYSDBA' PASSWORD '"
                          << Password << "';\n"
                          << ddl << "\nCOMMIT;\n";
    Run("isql-fb -q -i '" + script.string() + "'");
}

void WriteScript(const fs::path& path, int statements, bool commitEach) {
    std::ofstream out(path, std::ios::binary);
    for (int i = 1; i <= statements; ++i) {
        out << "INSERT INTO T (ID, NAME) VALUES (" << i << ", 'name " << i << "');\r\n";
        if (commitEach)
            out << "COMMIT;\r\n";
    }
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

struct ExecutorRun {
    double seconds = 0;
    int failures = 0;
    long pumps = 0;
};

ExecutorRun RunExecutor(const fs::path& database, const fs::path& script, int lines,
                        BenchWindow::Pump pump) {
    BenchWindow window(pump);
    ui::ProgressBar bar(window);
    ui::Label timeLabel(window, ui::Control::lUpdateTime);
    std::string logFile;
    const auto start = Clock::now();
    db::CGlobDB globDB("", "", database.string());
    update::UpdateContext context{globDB, window, logFile};
    bar.SetPosition(0);
    bar.SetMax(lines);
    ExecutorRun run;
    run.failures = update::ExecuteScript(context, script.string(), &bar, start, &timeLabel);
    run.seconds = Seconds(Clock::now() - start);
    run.pumps = window.pumps;
    return run;
}

double RunIsql(const fs::path& database, const fs::path& script) {
    const auto start = Clock::now();
    Run("isql-fb -q -user SYSDBA -password " + std::string(Password) + " '" + database.string() +
        "' -i '" + script.string() + "' >/dev/null");
    return Seconds(Clock::now() - start);
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

enum class Writes { Forced, Async };

struct Comparison {
    double executor = 0;
    double isql = 0;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Alternating runs on fresh databases, so neither side profits from a warm file; medians.
Comparison Compare(const fs::path& folder, const fs::path& script, const fs::path& isqlScript,
                   int statements, const std::string& ddl, Writes writes) {
    const bool async = writes == Writes::Async;
    std::printf("%d INSERTs, one transaction each, %s\n", statements,
                async ? "asynchronous writes (gfix -write async)"
                      : "database defaults (forced writes)");
    std::vector<double> executorTimes, isqlTimes, noPumpTimes;
    long pumps = 0;
    for (int round = 0; round < 5; ++round) {
        for (const char* name : {"executor.fdb", "isql.fdb", "nopump.fdb"}) {
            CreateDatabase(folder / name, ddl);
            if (async)
                Run("gfix -write async -user SYSDBA -password " + std::string(Password) + " '" +
                    (folder / name).string() + "'");
        }
        // Written-back pages of the fresh files must not land on whichever run comes first,
        // and the order rotates so that no side always runs on a cold or warm cache.
        ExecutorRun executor, noPump;
        double isql = 0;
        const auto runExecutor = [&] {
            Run("sync");
            executor = RunExecutor(folder / "executor.fdb", script, statements,
                                   BenchWindow::Pump::Counting);
        };
        const auto runIsql = [&] {
            Run("sync");
            isql = RunIsql(folder / "isql.fdb", isqlScript);
        };
        const auto runNoPump = [&] {
            Run("sync");
            noPump =
                RunExecutor(folder / "nopump.fdb", script, statements, BenchWindow::Pump::None);
        };
        const std::function<void()> order[] = {runExecutor, runIsql, runNoPump};
        for (int k = 0; k < 3; ++k)
            order[(round + k) % 3]();
        if (executor.failures != 0 || noPump.failures != 0) {
            std::fprintf(stderr, "statements failed\n");
            std::exit(1);
        }
        std::printf("  round %d: ExecuteScript %.3f s, isql-fb %.3f s, without pumping %.3f s\n",
                    round + 1, executor.seconds, isql, noPump.seconds);
        executorTimes.push_back(executor.seconds);
        isqlTimes.push_back(isql);
        noPumpTimes.push_back(noPump.seconds);
        pumps = executor.pumps;
    }
    Comparison result{Median(executorTimes), Median(isqlTimes)};
    const double noPump = Median(noPumpTimes);
    std::printf("  median: ExecuteScript %.3f s, isql-fb %.3f s, ratio %.3f (target <= 1.0)\n",
                result.executor, result.isql, result.executor / result.isql);
    std::printf("  pumping (%ld pumps): with %.3f s, without %.3f s, difference %.2f%%\n", pumps,
                result.executor, noPump, 100.0 * (result.executor - noPump) / result.executor);
    std::fflush(stdout);
    return result;
}

int MemoryRun(const fs::path& database, const fs::path& script) {
    BenchWindow window(BenchWindow::Pump::Counting);
    ui::ProgressBar bar(window);
    ui::Label timeLabel(window, ui::Control::lUpdateTime);
    std::string logFile;
    db::CGlobDB globDB("", "", database.string());
    update::UpdateContext context{globDB, window, logFile};
    const long before = CurrentRssKiB();
    bar.SetPosition(0);
    bar.SetMax(500000);
    const auto start = Clock::now();
    const int failures = update::ExecuteScript(context, script.string(), &bar, start, &timeLabel);
    const double seconds = Seconds(Clock::now() - start);
    const double sizeMiB = static_cast<double>(fs::file_size(script)) / (1024.0 * 1024.0);
    const double peakMiB = static_cast<double>(PeakRssKiB()) / 1024.0;
    std::printf("memory run: script %.1f MiB, %d lines pumped, %d failures, %.1f s\n", sizeMiB,
                static_cast<int>(window.pumps), failures, seconds);
    std::printf("  RSS attached before the script %.1f MiB, peak %.1f MiB; limit 2 x size + 30 "
                "= %.1f MiB: %s\n",
                static_cast<double>(before) / 1024.0, peakMiB, 2 * sizeMiB + 30,
                peakMiB < 2 * sizeMiB + 30 ? "met" : "NOT met");
    return failures == 0 ? 0 : 1;
}

// 500,000 lines of about 100 bytes: INSERTs of 20 lines each, a long text put together.
void WriteBigScript(const fs::path& path) {
    std::ofstream out(path, std::ios::binary);
    const std::string piece(93, 'x');
    for (int i = 1; i <= 25000; ++i) {
        out << "INSERT INTO BIG (ID, TXT) VALUES (" << i << ",\r\n";
        for (int j = 0; j < 18; ++j)
            out << "    '" << piece << "' ||\r\n";
        out << "    '" << piece << "');\r\n";
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "memory")
        return MemoryRun(argv[2], argv[3]);

    const fs::path folder =
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "norvane-bench";
    fs::create_directories(folder);
    constexpr int Statements = 10000;
    const std::string ddl = "CREATE TABLE T (ID INTEGER, NAME VARCHAR(60));";

    const fs::path script = folder / "inserts.sql";
    const fs::path isqlScript = folder / "inserts-commit.sql";
    WriteScript(script, Statements, false);
    WriteScript(isqlScript, Statements, true);

    const Comparison forced = Compare(folder, script, isqlScript, Statements, ddl, Writes::Forced);
    const Comparison async = Compare(folder, script, isqlScript, Statements, ddl, Writes::Async);
    const double pumpBest = async.executor;
    std::printf("ratio ExecuteScript / isql-fb: %.3f with forced writes, %.3f with asynchronous "
                "writes\n",
                forced.executor / forced.isql, async.executor / async.isql);
    // The line loop alone: SET lines reach no database, so the pump's share of the loop shows.
    const fs::path setLines = folder / "set-lines.sql";
    {
        std::ofstream out(setLines, std::ios::binary);
        for (int i = 0; i < 1000000; ++i)
            out << "SET NAMES WIN1251;\r\n";
    }
    CreateDatabase(folder / "lines.fdb", "");
    const ExecutorRun loopPump =
        RunExecutor(folder / "lines.fdb", setLines, 1000000, BenchWindow::Pump::Counting);
    const ExecutorRun loopNoPump =
        RunExecutor(folder / "lines.fdb", setLines, 1000000, BenchWindow::Pump::None);
    const double perLine = (loopPump.seconds - loopNoPump.seconds) / 1e6;
    std::printf("line loop, 1,000,000 SET lines: with pumping %.3f s, without %.3f s; pumping "
                "%.1f ns a line, %.3f%% of the 10,000-INSERT run (asynchronous writes)\n",
                loopPump.seconds, loopNoPump.seconds, perLine * 1e9,
                100.0 * perLine * Statements / pumpBest);

    const fs::path big = folder / "big.sql";
    WriteBigScript(big);
    CreateDatabase(folder / "big.fdb", "CREATE TABLE BIG (ID INTEGER, TXT VARCHAR(2000));");
    Run("gfix -write async -user SYSDBA -password " + std::string(Password) + " '" +
        (folder / "big.fdb").string() + "'");
    Run("'" + fs::canonical("/proc/self/exe").string() + "' memory '" +
        (folder / "big.fdb").string() + "' '" + big.string() + "'");
    return 0;
}
