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

// Notes, for every key that reaches the memo, how long it waited since it was sent.
class KeyLatency : public QObject {
public:
    void Sent(Clock::time_point when) {
        std::lock_guard lock(m_mutex);
        m_sent.push_back(when);
    }
    std::vector<std::chrono::milliseconds> Waits() const { return m_waits; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        std::lock_guard lock(m_mutex);
        if (m_handled < m_sent.size())
            m_waits.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(
                Clock::now() - m_sent[m_handled++]));
        return true;
    }

private:
    std::mutex m_mutex;
    std::vector<Clock::time_point> m_sent;
    std::size_t m_handled = 0;
    std::vector<std::chrono::milliseconds> m_waits;
};

TEST(QtInputTest, AKeyPressedDuringALongScriptIsHandledWithinFiftyMilliseconds) {
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
    window.RunHandler(
        [&] { run = update::ExecuteScript(context, folder / "255.01.sql", Clock::now()); });
    running = false;
    typist.join();

    EXPECT_EQ(run.failures, 0);
    EXPECT_EQ(database.QueryCount("select count(*) from T"), 4000);
    const auto waits = latency.Waits();
    // The script took long enough for the keys to come while it ran.
    ASSERT_GE(waits.size(), 5u);
    for (const auto wait : waits)
        EXPECT_LT(wait.count(), 50);
}

} // namespace
} // namespace norvane::qt
