#include "frontends/qt/qt_window.h"

#include "base/exceptions.h"
#include "qt_application.h"
#include "ui/window_contract.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>

#include <gtest/gtest.h>

namespace norvane::qt {
namespace {

using testing::DismissBoxesDuring;
using ui::Control;

// A control's rectangle in the window's client coordinates.
QRect InWindow(const QtWindow& window, const QWidget* control) {
    return QRect(control->mapTo(&window, QPoint(0, 0)), control->size());
}

std::string Text(const QWidget* widget) {
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text().toStdString();
    return qobject_cast<const QPushButton*>(widget)->text().toStdString();
}

struct QtProbe {
    ui::Window& Window() { return window; }
    std::string Memo() { return window.MemoText(); }
    std::string Caption(Control control) { return Text(window.Widget(control)); }
    bool Shown(Control control) { return window.Widget(control)->isVisibleTo(&window); }
    bool Enabled(Control control) { return window.Widget(control)->isEnabled(); }
    testing::ShownProgress Progress() {
        const auto* bar = qobject_cast<const QProgressBar*>(window.Widget(Control::ProgressBar2));
        return {bar->minimum(), bar->maximum(), bar->value()};
    }
    QtWindow window;
};

} // namespace
} // namespace norvane::qt

namespace norvane::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Qt, WindowMemoContract, qt::QtProbe);
INSTANTIATE_TYPED_TEST_SUITE_P(Qt, WindowControlContract, qt::QtProbe);
} // namespace norvane::testing

namespace norvane::qt {
namespace {

class QtWindowTest : public ::testing::Test {
protected:
    QtWindow m_window;
};

struct Placement {
    const char* name;
    std::function<QWidget*(const QtWindow&)> control;
    QRect design;  // in client coordinates at 635 x 456
    QRect resized; // at 835 x 556
};

TEST_F(QtWindowTest, ControlsFollowTheirAnchorsWhenTheWindowIsResized) {
    const auto widget = [](Control control) {
        return [control](const QtWindow& w) { return w.Widget(control); };
    };
    const std::vector<Placement> placements{
        {"plInfo",
         [](const QtWindow& w) { return w.plInfo(); },
         {0, 0, 635, 256},
         {0, 0, 835, 356}},
        {"Memo2",
         [](const QtWindow& w) { return w.Memo2(); },
         {46, 22, 564, 219},
         {46, 22, 764, 319}},
        {"Panel3",
         [](const QtWindow& w) { return w.Panel3(); },
         {0, 256, 635, 46},
         {0, 356, 835, 46}},
        {"plUp", widget(Control::plUp), {0, 302, 635, 112}, {0, 402, 835, 112}},
        {"Panel2",
         [](const QtWindow& w) { return w.Panel2(); },
         {0, 414, 635, 42},
         {0, 514, 835, 42}},
        {"lCurVer", widget(Control::lCurVer), {144, 262, 191, 13}, {144, 362, 191, 13}},
        {"lActVer", widget(Control::lActVer), {144, 285, 191, 13}, {144, 385, 191, 13}},
        {"ProgressBar2", widget(Control::ProgressBar2), {17, 342, 604, 17}, {17, 442, 804, 17}},
        {"btOK", widget(Control::btOK), {467, 423, 75, 25}, {667, 523, 75, 25}},
        {"btCancel", widget(Control::btCancel), {555, 423, 75, 25}, {755, 523, 75, 25}},
    };
    EXPECT_EQ(m_window.size(), QSize(635, 456));
    EXPECT_EQ(m_window.pos(), QPoint(0, 0));
    for (const auto& placement : placements)
        EXPECT_EQ(InWindow(m_window, placement.control(m_window)), placement.design)
            << placement.name;

    // Qt delivers resizes to a shown window, as the user's would be.
    m_window.show();
    m_window.resize(835, 556);
    for (const auto& placement : placements)
        EXPECT_EQ(InWindow(m_window, placement.control(m_window)), placement.resized)
            << placement.name;

    // The version labels keep their places in their rows.
    EXPECT_EQ(m_window.Widget(Control::lCurVer)->geometry(), QRect(143, 5, 191, 13));
    EXPECT_EQ(m_window.Widget(Control::lActVer)->geometry(), QRect(143, 6, 191, 13));

    m_window.resize(635, 456);
    EXPECT_EQ(InWindow(m_window, m_window.Memo2()), QRect(46, 22, 564, 219));
}

TEST_F(QtWindowTest, TheTimeLabelKeepsItsRightEdgeLevelWithTheBar) {
    QWidget* time = m_window.Widget(Control::lUpdateTime);
    QWidget* bar = m_window.Widget(Control::ProgressBar2);
    EXPECT_EQ(time->geometry().right(), 620);
    EXPECT_EQ(time->y(), 21);
    m_window.SetCaption(Control::lUpdateTime, "1:02:03");
    EXPECT_EQ(time->geometry().right(), bar->geometry().right());
    const int wideWidth = time->width();
    m_window.SetCaption(Control::lUpdateTime, "0:05");
    EXPECT_LT(time->width(), wideWidth);
    EXPECT_EQ(time->geometry().right(), 620);
    m_window.show();
    m_window.resize(735, 456);
    EXPECT_EQ(time->geometry().right(), 720);
    EXPECT_EQ(time->geometry().right(), bar->geometry().right());
}

// The state every window starts in is the contract's; these are the Qt window's own looks.
TEST_F(QtWindowTest, StartsWithTheDesignsLooks) {
    EXPECT_EQ(m_window.windowTitle().toStdString(), "Оновлення");
    EXPECT_EQ(m_window.font().pointSize(), 8);
    struct Expected {
        Control control;
        bool bold;
    };
    for (const Expected& expected : std::vector<Expected>{
             {Control::lCurVer, true},
             {Control::lActVer, true},
             {Control::lUpdate, true},
             {Control::lTextFile, false},
             {Control::lFile, false},
             {Control::lUpdateTime, false},
         }) {
        EXPECT_EQ(m_window.Widget(expected.control)->font().bold(), expected.bold)
            << ui::ControlName(expected.control);
    }
    EXPECT_EQ(Text(m_window.Widget(Control::lTextFile)), "Обробока файла:");
    EXPECT_TRUE(qobject_cast<QLabel*>(m_window.Widget(Control::lCurVer))->alignment() &
                Qt::AlignRight);

    QPlainTextEdit* memo = m_window.Memo2();
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->palette().color(QPalette::Base),
              QApplication::palette().color(QPalette::ToolTipBase));
}

TEST_F(QtWindowTest, ALabelGrowsToItsCaption) {
    auto* label = qobject_cast<QLabel*>(m_window.Widget(Control::lFile));
    m_window.SetCaption(Control::lFile, "INFO_DOC.NOTE_U.ID 10.blo (1/1)");
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
}

TEST_F(QtWindowTest, AMarkLandsOnTheLastLineWhereverTheUserLeftTheCaret) {
    m_window.show();
    m_window.AddStatus("Наявність архиватора RAR...");
    m_window.AddStatus("Розпаковка пакету...");
    QPlainTextEdit* memo = m_window.Memo2();
    QTextCursor caret = memo->textCursor();
    caret.setPosition(3);
    caret.setPosition(8, QTextCursor::KeepAnchor);
    memo->setTextCursor(caret);
    memo->setFocus();
    QTest::keyClicks(memo, "typed");
    QTest::keyClick(memo, Qt::Key_Delete);
    QTest::keyClick(memo, Qt::Key_Return);
    m_window.MarkStatus("[OK]");
    EXPECT_EQ(m_window.MemoText(), "Наявність архиватора RAR...\r\nРозпаковка пакету...[OK]\r\n");
}

TEST_F(QtWindowTest, EscPressesCancelOnlyWhileItIsEnabled) {
    int cancels = 0;
    m_window.SetHandlers({}, [&] {
        ++cancels;
        m_window.Close();
    });
    m_window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));

    m_window.SetEnabled(Control::btCancel, false);
    QTest::keyClick(&m_window, Qt::Key_Escape);
    EXPECT_EQ(cancels, 0);
    EXPECT_TRUE(m_window.isVisible());

    // Nor while it is hidden.
    m_window.SetEnabled(Control::btCancel, true);
    m_window.SetVisible(Control::btCancel, false);
    QTest::keyClick(&m_window, Qt::Key_Escape);
    EXPECT_EQ(cancels, 0);
    EXPECT_TRUE(m_window.isVisible());
    m_window.SetVisible(Control::btCancel, true);

    m_window.SetEnabled(Control::btCancel, true);
    m_window.Memo2()->setFocus();
    QTest::keyClick(m_window.Memo2(), Qt::Key_Escape);
    EXPECT_EQ(cancels, 1);
    EXPECT_FALSE(m_window.isVisible());
}

TEST_F(QtWindowTest, ACloseAskedForInsideAHandlerWaitsForItsEnd) {
    bool closedInside = true;
    bool visibleAfterPump = false;
    m_window.SetHandlers(
        [&] {
            m_window.SetEnabled(Control::btOK, false);
            QTest::keyClick(&m_window, Qt::Key_Escape); // btCancel is enabled
            closedInside = m_window.close();
            m_window.PumpMessages();
            visibleAfterPump = m_window.isVisible();
        },
        [&] { m_window.Close(); });
    m_window.SetEnabled(Control::btOK, true);
    m_window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    QTest::mouseClick(m_window.Widget(Control::btOK), Qt::LeftButton);
    EXPECT_FALSE(closedInside);
    EXPECT_TRUE(visibleAfterPump);
    EXPECT_FALSE(m_window.isVisible());
}

TEST_F(QtWindowTest, AnErrorEscapingAHandlerIsShownAndTheWindowStaysAsItWas) {
    m_window.SetHandlers(
        [&] {
            m_window.SetEnabled(Control::btOK, false);
            m_window.SetCaption(Control::btCancel, "Відмінити");
            throw EResNotFound("Resource 256_RAR not found");
        },
        [&] { m_window.Close(); });
    m_window.SetEnabled(Control::btOK, true);
    m_window.show();
    bool visibleWithBox = false;
    const auto boxes = DismissBoxesDuring(
        [&] { QTest::mouseClick(m_window.Widget(Control::btOK), Qt::LeftButton); },
        [&] { visibleWithBox = m_window.isVisible(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Resource 256_RAR not found");
    EXPECT_TRUE(visibleWithBox);
    EXPECT_TRUE(m_window.isVisible());
    EXPECT_FALSE(m_window.Widget(Control::btOK)->isEnabled());
    EXPECT_EQ(Text(m_window.Widget(Control::btCancel)), "Відмінити");
}

TEST_F(QtWindowTest, AMessageIsAModalBoxWhoseIconAndTitleSayItsKind) {
    struct Case {
        ui::MessageKind kind;
        QMessageBox::Icon icon;
        std::string title;
    };
    for (const Case& c : {Case{ui::MessageKind::Warning, QMessageBox::Warning, "Попередження"},
                          Case{ui::MessageKind::Error, QMessageBox::Critical, "Помилка"}}) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        std::string title;
        const auto boxes = DismissBoxesDuring(
            [&] { m_window.ShowMessageBox("ПК Norvane запущена.", c.kind); },
            [&] {
                const auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                icon = box->icon();
                title = box->windowTitle().toStdString();
            });
        EXPECT_EQ(boxes, std::vector<std::string>{"ПК Norvane запущена."}) << c.title;
        EXPECT_EQ(icon, c.icon) << c.title;
        EXPECT_EQ(title, c.title);
    }
}

TEST_F(QtWindowTest, AnEmptyRangeShowsAnEmptyBarNotABusyOne) {
    auto* bar = qobject_cast<QProgressBar*>(m_window.Widget(Control::ProgressBar2));
    m_window.SetProgressMax(0);
    EXPECT_NE(bar->minimum(), bar->maximum());
    EXPECT_EQ(bar->value(), bar->minimum());
    m_window.SetProgressMax(4);
    m_window.SetProgressPosition(3);
    EXPECT_EQ(bar->maximum(), 4);
    EXPECT_EQ(bar->value(), 3);
}

// What a widget showed each time it was painted.
class PaintLog : public QObject {
public:
    PaintLog(QWidget* widget, std::function<std::string()> state) : m_state(std::move(state)) {
        widget->installEventFilter(this);
    }
    std::vector<std::string> shown;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            shown.push_back(m_state());
        return false;
    }

private:
    std::function<std::string()> m_state;
};

class QtWindowPaintTest : public QtWindowTest {
protected:
    void SetUp() override {
        m_window.SetVisible(Control::lUpdateTime, true);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    // Runs body as btOK's handler, the way the install runs.
    void RunAsHandler(const std::function<void()>& body) {
        m_window.SetHandlers(body, {});
        m_window.SetEnabled(Control::btOK, true);
        QTest::mouseClick(m_window.Widget(Control::btOK), Qt::LeftButton);
    }

    QProgressBar* Bar() const {
        return qobject_cast<QProgressBar*>(m_window.Widget(Control::ProgressBar2));
    }
    PaintLog m_bar{Bar(), [this] { return std::to_string(Bar()->value()); }};
    PaintLog m_memo{m_window.Memo2()->viewport(),
                    [this] { return std::to_string(m_window.Memo2()->document()->blockCount()); }};
    PaintLog m_time{m_window.Widget(Control::lUpdateTime),
                    [this] { return Text(m_window.Widget(Control::lUpdateTime)); }};
};

TEST_F(QtWindowPaintTest, ABurstOfLinesReachesTheWidgetsAndItsEndIsPainted) {
    constexpr int Lines = 2000;
    std::string expectedMemo;
    int positionsSeen = 0;
    RunAsHandler([&] {
        m_window.SetProgressMax(Lines);
        for (int line = 1; line <= Lines; ++line) {
            const std::string text = "line " + std::to_string(line);
            m_window.AddStatus(text);
            expectedMemo += text + "\r\n";
            m_window.SetProgressPosition(line);
            m_window.SetCaption(Control::lUpdateTime, "00:00:" + std::to_string(line));
            positionsSeen += m_window.ProgressPosition() == line ? 1 : 0;
            m_window.PumpMessages();
        }
    });
    // Every position was taken at once, and every other change reached its widget at once,
    // whatever was painted meanwhile; the bar takes its position when it is painted.
    EXPECT_EQ(positionsSeen, Lines);
    EXPECT_EQ(Bar()->value(), Lines);
    EXPECT_EQ(m_window.MemoText(), expectedMemo);
    EXPECT_EQ(Text(m_window.Widget(Control::lUpdateTime)), "00:00:2000");
    // The last paint of each shows the end of the step.
    ASSERT_FALSE(m_bar.shown.empty());
    EXPECT_EQ(m_bar.shown.back(), std::to_string(Lines));
    ASSERT_FALSE(m_memo.shown.empty());
    EXPECT_EQ(m_memo.shown.back(), std::to_string(Lines));
    ASSERT_FALSE(m_time.shown.empty());
    EXPECT_EQ(m_time.shown.back(), "00:00:2000");
}

TEST_F(QtWindowPaintTest, AControlShownInsideAHandlerIsPaintedByTheNextPump) {
    QWidget* lFile = m_window.Widget(Control::lFile);
    PaintLog file{lFile, [lFile] { return Text(lFile); }};
    std::size_t paintsAfterPump = 0;
    RunAsHandler([&] {
        m_window.SetProgressPosition(1);
        m_window.PumpMessages();
        m_window.SetCaption(Control::lFile, "255.01.sql (1/2)");
        m_window.SetVisible(Control::lFile, true);
        m_window.PumpMessages();
        paintsAfterPump = file.shown.size();
    });
    ASSERT_GE(paintsAfterPump, 1u);
    EXPECT_EQ(file.shown[paintsAfterPump - 1], "255.01.sql (1/2)");
}

TEST_F(QtWindowPaintTest, ABoxShownInsideAHandlerHasTheWindowPaintedBehindIt) {
    std::string barBehindBox;
    const auto boxes = DismissBoxesDuring(
        [&] {
            RunAsHandler([&] {
                m_window.SetProgressMax(10);
                m_window.PumpMessages();
                m_window.SetProgressPosition(7);
                m_window.ShowMessageBox("Попередження", ui::MessageKind::Warning);
            });
        },
        [&] { barBehindBox = m_bar.shown.empty() ? "" : m_bar.shown.back(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(barBehindBox, "7");
}

} // namespace
} // namespace norvane::qt
