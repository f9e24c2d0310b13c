#include "window_bench.h"

#include "bench_support.h"
#include "frontends/qt/qt_window.h"

#include <QApplication>
#include <QEvent>
#include <QTest>

#include <cstdio>
#include <fstream>

namespace norvane::bench {

namespace {

// Counts the paints a widget receives: how often the window drew the bar.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    long paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

// Hands the lines of one run to the Qt window and to no window in turns of Turn lines, and
// adds up the time of each line (its statement, its handling, its pump) to the side it went
// to. Both sides share the moments of the run, so a disturbance of the machine falls on either
// side alike, and the difference of their mean lines is the window's cost of a line. The first
// turns, while the engine warms up, are not counted.
//
// The window pumps and paints by the clock, though: the first pump of a turn always handles
// events, and paints come twice as often for the window's lines as in a run of its own. With
// Turns::None every line goes to the window, and the time spent in its calls (the bar, the
// labels, the pump) against the whole line is its share, free of that bias.
class AlternatingWindow : public ui::Window {
public:
    enum class Turns { Alternate, None };

    // Groups commit after every thousandth line: with turns of 200 lines those commits fall to
    // either side in turn, where turns of 250 would give all of them to the same side.
    static constexpr int Turn = 200;

    struct Side {
        long lines = 0;
        double lineSeconds = 0;
        double statementSeconds = 0; // from the last pump to the bar's advance
        double barSeconds = 0;
        double captionSeconds = 0;
        double pumpSeconds = 0;
        // Pumps that handled the waiting events rather than pass on the window's throttle.
        long handledPumps = 0;
        double handledPumpSeconds = 0;
        double Mean(double seconds) const { return lines > 0 ? seconds / lines : 0; }
    };
    Side window;
    Side none;

    AlternatingWindow(qt::QtWindow& qtWindow, Turns turns) : m_window(qtWindow), m_turns(turns) {}

    /// Starts the clock of the first line.
    void Start() { m_lineStart = Clock::now(); }

    void AddStatus(std::string_view text) override { m_window.AddStatus(text); }
    void MarkStatus(std::string_view text) override { m_window.MarkStatus(text); }
    void SetCaption(ui::Control control, std::string_view text) override {
        const auto start = Clock::now();
        if (InWindow())
            m_window.SetCaption(control, text);
        if (Counted())
            Current().captionSeconds += Seconds(Clock::now() - start);
    }
    void SetVisible(ui::Control control, bool visible) override {
        m_window.SetVisible(control, visible);
    }
    void SetEnabled(ui::Control control, bool enabled) override {
        m_window.SetEnabled(control, enabled);
    }
    void PumpMessages() override {
        const auto start = Clock::now();
        if (InWindow())
            m_window.PumpMessages();
        const auto end = Clock::now();
        if (Counted()) {
            Side& side = Current();
            ++side.lines;
            side.lineSeconds += Seconds(end - m_lineStart);
            side.pumpSeconds += Seconds(end - start);
            // A pump that passes reads a clock, and one that finds no events waiting takes a
            // few microseconds more: the slow ones are those that paint.
            if (end - start > std::chrono::microseconds(20)) {
                ++side.handledPumps;
                side.handledPumpSeconds += Seconds(end - start);
            }
        }
        m_lineStart = end;
        ++m_line;
    }
    void ShowMessageBox(std::string_view text, ui::MessageKind kind) override {
        m_window.ShowMessageBox(text, kind);
    }
    void Close() override {}

protected:
    void ProgressChanged(int min, int max, int position) override {
        const auto start = Clock::now();
        if (InWindow()) {
            if (m_window.ProgressMin() != min)
                m_window.SetProgressMin(min);
            if (m_window.ProgressMax() != max)
                m_window.SetProgressMax(max);
            m_window.SetProgressPosition(position);
        }
        if (Counted()) {
            Current().statementSeconds += Seconds(start - m_lineStart);
            Current().barSeconds += Seconds(Clock::now() - start);
        }
    }

private:
    bool InWindow() const { return m_turns == Turns::None || m_line / Turn % 2 == 0; }
    bool Counted() const { return m_line >= 2 * Turn; }
    Side& Current() { return InWindow() ? window : none; }

    qt::QtWindow& m_window;
    Turns m_turns;
    Clock::time_point m_lineStart{};
    long m_line = 0;
};

struct Pair {
    ExecutorRun window;
    ExecutorRun null;
    long paints = 0;
};

// One run in each window on fresh databases; the order alternates with the round.
Pair RunBoth(qt::QtWindow& window, PaintCounter& counter, const fs::path& folder,
             const fs::path& script, int lines, int repeats, int round) {
    const fs::path windowDb = folder / "window.fdb";
    const fs::path nullDb = folder / "null.fdb";
    for (const fs::path& database : {windowDb, nullDb}) {
        CreateDatabase(database, InsertsTable, Writes::Async);
        AddJournal(database);
    }
    Pair pair;
    const auto inWindow = [&] {
        const long before = counter.paints;
        // The install runs in a handler of the window, as btOK's does.
        window.RunHandler([&] {
            pair.window = RunExecutor(window, "", windowDb, script, lines,
                                      update::GroupPolicy::Grouped(), repeats);
        });
        pair.paints = counter.paints - before;
    };
    const auto inNull = [&] {
        NullWindow null;
        pair.null =
            RunExecutor(null, "", nullDb, script, lines, update::GroupPolicy::Grouped(), repeats);
    };
    Run("sync");
    if (round % 2 == 0) {
        inWindow();
        Run("sync");
        inNull();
    } else {
        inNull();
        Run("sync");
        inWindow();
    }
    return pair;
}

} // namespace

int WindowChild(const fs::path& folder, int rounds, int setRepeats) {
    int argc = 1;
    char name[] = "script_bench";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);

    // The window as the install shows it while scripts run.
    qt::QtWindow window;
    for (ui::Control control : {ui::Control::lUpdate, ui::Control::lTextFile, ui::Control::lFile,
                                ui::Control::lUpdateTime})
        window.SetVisible(control, true);
    window.SetCaption(ui::Control::lFile, "inserts.sql (1/1)");
    window.AddStatus("Встановлення оновлення");
    window.AddStatus("inserts.sql");
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was not shown\n");
        return 1;
    }
    PaintCounter counter(window.Widget(ui::Control::ProgressBar2));

    const fs::path inserts = folder / "window-inserts.sql";
    WriteInserts(inserts, WindowStatements, 0);
    // The first run loads the engine into this process: a pair that is not counted.
    RunBoth(window, counter, folder, inserts, WindowStatements, 1, 0);
    for (int round = 0; round < rounds; ++round) {
        const Pair pair = RunBoth(window, counter, folder, inserts, WindowStatements, 1, round);
        if (pair.window.failures != 0 || pair.null.failures != 0) {
            std::fprintf(stderr, "statements failed\n");
            return 1;
        }
        std::printf("round=%d window=%.6f null=%.6f window_cpu=%.6f null_cpu=%.6f bar_paints=%ld\n",
                    round + 1, pair.window.seconds, pair.null.seconds, pair.window.cpuSeconds,
                    pair.null.cpuSeconds, pair.paints);
        std::fflush(stdout);
    }

    // The same INSERTs with the lines handed to the window and to no window in turns.
    for (int round = 0; round < rounds; ++round) {
        const fs::path database = folder / "alternating.fdb";
        CreateDatabase(database, InsertsTable, Writes::Async);
        AddJournal(database);
        Run("sync");
        AlternatingWindow alternating(window, AlternatingWindow::Turns::Alternate);
        ExecutorRun run;
        const long paintsBefore = counter.paints;
        window.RunHandler([&] {
            alternating.Start();
            run = RunExecutor(alternating, "", database, inserts, WindowStatements,
                              update::GroupPolicy::Grouped());
        });
        if (run.failures != 0) {
            std::fprintf(stderr, "statements failed\n");
            return 1;
        }
        const auto& in = alternating.window;
        const auto& out = alternating.none;
        std::printf("alternating=%d window_line_us=%.3f null_line_us=%.3f "
                    "window_statement_us=%.3f null_statement_us=%.3f bar_us=%.3f pump_us=%.3f "
                    "slow_pumps=%ld slow_pump_us=%.1f window_lines=%ld bar_paints=%ld\n",
                    round + 1, 1e6 * in.Mean(in.lineSeconds), 1e6 * out.Mean(out.lineSeconds),
                    1e6 * in.Mean(in.statementSeconds), 1e6 * out.Mean(out.statementSeconds),
                    1e6 * in.Mean(in.barSeconds), 1e6 * in.Mean(in.pumpSeconds), in.handledPumps,
                    in.handledPumps > 0 ? 1e6 * in.handledPumpSeconds / in.handledPumps : 0.0,
                    in.lines, counter.paints - paintsBefore);
        std::fflush(stdout);
    }

    // Every line in the window, the time in its calls taken apart from the rest of the line.
    for (int round = 0; round < rounds; ++round) {
        const fs::path database = folder / "timed.fdb";
        CreateDatabase(database, InsertsTable, Writes::Async);
        AddJournal(database);
        Run("sync");
        AlternatingWindow timed(window, AlternatingWindow::Turns::None);
        ExecutorRun run;
        window.RunHandler([&] {
            timed.Start();
            run = RunExecutor(timed, "", database, inserts, WindowStatements,
                              update::GroupPolicy::Grouped());
        });
        if (run.failures != 0) {
            std::fprintf(stderr, "statements failed\n");
            return 1;
        }
        const auto& in = timed.window;
        std::printf(
            "timed=%d line_us=%.3f bar_us=%.3f caption_us=%.3f pump_us=%.3f "
            "slow_pumps=%ld slow_pump_us=%.1f lines=%ld\n",
            round + 1, 1e6 * in.Mean(in.lineSeconds), 1e6 * in.Mean(in.barSeconds),
            1e6 * in.Mean(in.captionSeconds), 1e6 * in.Mean(in.pumpSeconds), in.handledPumps,
            in.handledPumps > 0 ? 1e6 * in.handledPumpSeconds / in.handledPumps : 0.0, in.lines);
        std::fflush(stdout);
    }

    // SET lines reach no database: the line loop alone, where the window's share is largest.
    // A script as long as the INSERTs, run again and again, keeps the bar moving as it does.
    const fs::path setScript = folder / "set-lines.sql";
    {
        std::ofstream out(setScript, std::ios::binary);
        for (int i = 0; i < WindowStatements; ++i)
            out << "SET NAMES WIN1251;\r\n";
    }
    std::vector<double> windowTimes, nullTimes;
    long paints = 0;
    for (int round = 0; round < 3; ++round) {
        const Pair pair =
            RunBoth(window, counter, folder, setScript, WindowStatements, setRepeats, round);
        windowTimes.push_back(pair.window.seconds);
        nullTimes.push_back(pair.null.seconds);
        paints = pair.paints;
    }
    const double windowMedian = SpreadOf(windowTimes).median;
    const double nullMedian = SpreadOf(nullTimes).median;
    const double lines = static_cast<double>(WindowStatements) * setRepeats;
    std::printf("set_lines=%.0f window=%.6f null=%.6f bar_paints=%ld per_line_ns=%.1f\n", lines,
                windowMedian, nullMedian, paints, (windowMedian - nullMedian) / lines * 1e9);
    return 0;
}

} // namespace norvane::bench
