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

constexpr int Statements = 10000;

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

struct Pair {
    ExecutorRun window;
    ExecutorRun null;
    long paints = 0;
};

// One run in each window on fresh databases; the order alternates with the round.
Pair RunBoth(qt::QtWindow& window, PaintCounter& counter, const fs::path& folder,
             const fs::path& script, int lines, int round, Writes writes) {
    const fs::path windowDb = folder / "window.fdb";
    const fs::path nullDb = folder / "null.fdb";
    CreateDatabase(windowDb, InsertsTable, writes);
    CreateDatabase(nullDb, InsertsTable, writes);
    Pair pair;
    const auto inWindow = [&] {
        const long before = counter.paints;
        // The install runs in a handler of the window, as btOK's does.
        window.RunHandler([&] { pair.window = RunExecutor(window, "", windowDb, script, lines); });
        pair.paints = counter.paints - before;
    };
    const auto inNull = [&] {
        NullWindow null;
        pair.null = RunExecutor(null, "", nullDb, script, lines);
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

int WindowChild(const fs::path& folder, int rounds, int setLines) {
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

    const fs::path inserts = folder / "inserts.sql";
    for (int round = 0; round < rounds; ++round) {
        const Pair pair =
            RunBoth(window, counter, folder, inserts, Statements, round, Writes::Async);
        if (pair.window.failures != 0 || pair.null.failures != 0) {
            std::fprintf(stderr, "statements failed\n");
            return 1;
        }
        std::printf("round=%d window=%.6f null=%.6f window_cpu=%.6f null_cpu=%.6f bar_paints=%ld\n",
                    round + 1, pair.window.seconds, pair.null.seconds, pair.window.cpuSeconds,
                    pair.null.cpuSeconds, pair.paints);
        std::fflush(stdout);
    }

    // SET lines reach no database: the line loop alone, where the window's share is largest.
    const fs::path setScript = folder / "set-lines.sql";
    {
        std::ofstream out(setScript, std::ios::binary);
        for (int i = 0; i < setLines; ++i)
            out << "SET NAMES WIN1251;\r\n";
    }
    std::vector<double> windowTimes, nullTimes;
    long paints = 0;
    for (int round = 0; round < 3; ++round) {
        const Pair pair =
            RunBoth(window, counter, folder, setScript, setLines, round, Writes::Async);
        windowTimes.push_back(pair.window.seconds);
        nullTimes.push_back(pair.null.seconds);
        paints = pair.paints;
    }
    const double windowMedian = SpreadOf(windowTimes).median;
    const double nullMedian = SpreadOf(nullTimes).median;
    std::printf("set_lines=%d window=%.6f null=%.6f bar_paints=%ld per_line_ns=%.1f\n", setLines,
                windowMedian, nullMedian, paints, (windowMedian - nullMedian) / setLines * 1e9);
    return 0;
}

} // namespace norvane::bench
