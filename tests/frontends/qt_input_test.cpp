// Input that arrives while a long script runs in the window is handled within 50 ms: the
// window handles its messages every few milliseconds, not after every statement.
#include "frontends/qt/qt_window.h"

#include "db/glob_db.h"
#include "qt_application.h"
#include "support/temp_folder.h"
#include "support/test_database.h"
#include "update/script_executor.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace norvane::qt {
namespace {

using Clock = std::chrono::steady_clock;

// Notes, for every key that reaches the memo, when it was sent and when it was handled.
class KeyLatency : public QObject {
public:
    struct Key {
        Clock::time_point sent;
        Clock::time_point handled;
    };
    void Sent(Clock::time_point when) {
        std::lock_guard lock(m_mutex);
        m_sent.push_back(when);
    }
    std::vector<Key> Handled() const { return m_keys; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        std::lock_guard lock(m_mutex);
        if (m_handled < m_sent.size())
            m_keys.push_back({m_sent[m_handled++], Clock::now()});
        return true;
    }

private:
    std::mutex m_mutex;
    std::vector<Clock::time_point> m_sent;
    std::size_t m_handled = 0;
    std::vector<Key> m_keys;
};

TEST(QtInputTest, AKeyPressedDuringALongScriptIsHandledWhileItRuns) {
    testing::TestDatabase database;
    database.Execute("CREATE TABLE T (ID INTEGER, S VARCHAR(40));");
    testing::TempFolder folder;
    std::string script;
    for (int row = 1; row <= 4000; ++row)
        script += "INSERT INTO T VALUES (" + std::to_string(row) + ", 'row');\r\n";
    testing::WriteFile(folder / "255.01.sql", script);

    QtWindow window;
    KeyLatency latency;
    window.Memo2()->installEventFilter(&latency);
    db::CGlobDB globDB("", "", database.Path());
    update::UpdateContext context{globDB, window};

    std::atomic<bool> running{true};
    std::thread typist([&] {
        while (running) {
            std::this_thread::sleep_for(std::chrono::milliseconds(17));
            latency.Sent(Clock::now());
            QCoreApplication::postEvent(window.Memo2(),
                                        new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier));
        }
    });
    update::ScriptRun run;
    const Clock::time_point started = Clock::now();
    Clock::time_point ended;
    window.RunHandler([&] {
        run = update::ExecuteScript(context, folder / "255.01.sql", Clock::now());
        ended = Clock::now();
    });
    running = false;
    typist.join();

    EXPECT_EQ(run.failures, 0);
    EXPECT_EQ(database.QueryCount("select count(*) from T"), 4000);
    // Without the pump every key would wait for the script's end. How quickly a key is
    // handled is the window bench's measure; here: each key sent in the script's first half
    // is handled before the script ends.
    const Clock::time_point half = started + (ended - started) / 2;
    int early = 0;
    for (const auto& key : latency.Handled()) {
        if (key.sent >= half)
            continue;
        ++early;
        EXPECT_LT(key.handled, ended) << "a key waited for the script's end";
    }
    EXPECT_GE(early, 1) << "the script ended before keys came while it ran";
}

} // namespace
} // namespace norvane::qt
