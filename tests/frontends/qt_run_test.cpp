// This executable carries the demo package 255 and runs the window against a real database.
#include "frontends/qt/qt_program.h"

#include "demo_product.h"
#include "qt_application.h"
#include "support/environment_override.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace norvane::qt {
namespace {

using testing::DemoProduct;
using testing::DismissBoxesDuring;
using testing::ExampleFile;
using testing::ReadFile;
using ui::Control;

std::string Text(const QWidget* widget) {
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text().toStdString();
    return qobject_cast<const QPushButton*>(widget)->text().toStdString();
}

std::string LastLine(const std::string& memo) {
    const auto end = memo.rfind("\r\n");
    const auto start = memo.rfind("\r\n", end - 1);
    return memo.substr(start == std::string::npos ? 0 : start + 2,
                       end - (start == std::string::npos ? 0 : start + 2));
}

class QtRunTest : public ::testing::Test {
protected:
    WindowProgram& Start() {
        m_program = std::make_unique<WindowProgram>(
            m_values, app::StartupPaths{m_product.InstallerPath(), m_product.Temp.Str()});
        m_program->Start();
        return *m_program;
    }
    QWidget* Widget(Control control) { return m_program->Window().Widget(control); }

    DemoProduct m_product;
    app::ProcessValues m_values;
    std::unique_ptr<WindowProgram> m_program;
};

// What the user sees at one moment of the install.
struct Snapshot {
    bool okEnabled;
    bool cancelEnabled;
    std::string cancelText;
    bool updateShown;
    bool barShown;
};

TEST_F(QtRunTest, TheButtonsFollowAFullRunFrom254To255) {
    QtWindow& window = Start().Window();
    ASSERT_TRUE(window.isVisible());
    EXPECT_EQ(Text(Widget(Control::lCurVer)), "254");
    EXPECT_EQ(Text(Widget(Control::lActVer)), "255");
    EXPECT_EQ(LastLine(window.MemoText()), "255_RAR [OK]");
    ASSERT_TRUE(Widget(Control::btOK)->isEnabled());
    EXPECT_TRUE(Widget(Control::btCancel)->isEnabled());

    std::vector<Snapshot> seen;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        seen.push_back({Widget(Control::btOK)->isEnabled(), Widget(Control::btCancel)->isEnabled(),
                        Text(Widget(Control::btCancel)), !Widget(Control::lUpdate)->isHidden(),
                        !Widget(Control::ProgressBar2)->isHidden()});
    });
    watcher.start(0);
    qobject_cast<QPushButton*>(Widget(Control::btOK))->click();
    watcher.stop();

    ASSERT_FALSE(seen.empty());
    bool installing = false;
    for (const Snapshot& snapshot : seen) {
        EXPECT_FALSE(snapshot.okEnabled);
        EXPECT_EQ(snapshot.cancelText, "Відмінити");
        if (!snapshot.cancelEnabled && snapshot.updateShown && snapshot.barShown)
            installing = true;
    }
    EXPECT_TRUE(installing);

    EXPECT_TRUE(Widget(Control::btOK)->isHidden());
    EXPECT_EQ(Text(Widget(Control::btCancel)), "Зачинити");
    EXPECT_TRUE(Widget(Control::btCancel)->isEnabled());
    for (Control control : {Control::lUpdate, Control::ProgressBar2, Control::lTextFile,
                            Control::lFile, Control::lUpdateTime})
        EXPECT_TRUE(Widget(control)->isHidden()) << ui::ControlName(control);
    EXPECT_FALSE(Widget(Control::plUp)->isHidden());

    const std::string memo = window.MemoText();
    EXPECT_NE(memo.find("Наявність архиватора RAR...[OK]\r\n"), std::string::npos) << memo;
    EXPECT_NE(memo.find("Розпаковка пакету...[OK]\r\n"), std::string::npos) << memo;
    EXPECT_EQ(m_product.DatabaseVersion(), "255");
    const app::RunReport& report = m_program->Form().Report();
    EXPECT_EQ(report.failedStatements + report.failedBlobs + report.failedCopies, 0);
    EXPECT_EQ(m_product.Database.QueryString("select count(*) from UNIT"), "2");
    EXPECT_EQ(m_product.Database.QueryString(
                  "select count(*) from rdb$procedures where rdb$procedure_name = 'INDEX_PRICES'"),
              "1");
    EXPECT_EQ(m_product.Database.QueryBlob("select NOTE_U from INFO_DOC where ID = 10"),
              ExampleFile("up/INFO_DOC.NOTE_U.ID 10.blo"));
    EXPECT_EQ(ReadFile(m_product.Program / "Norvanework.exe"), ExampleFile("Norvanework.exe"));
    EXPECT_EQ(ReadFile(m_product.Program.Path() / "Report" / "Koshtorys.fr3"),
              ExampleFile("Report/Koshtorys.fr3"));
    EXPECT_TRUE(window.isVisible());
}

// nrv.ini names a folder for the backup: the install shows it, with its caption and bar.
TEST_F(QtRunTest, TheWindowShowsTheBackupBeforeTheUpdate) {
    testing::TempFolder backups;
    const std::filesystem::path ini = m_product.Program.Path() / "nrv.ini";
    testing::WriteFile(ini, ReadFile(ini) + "[Update]\r\nBackupFolder=" + backups.Str() + "\r\n");
    QtWindow& window = Start().Window();
    bool shown = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        shown = shown || (Text(Widget(Control::lUpdate)) == "Резервна копія бази даних" &&
                          !Widget(Control::ProgressBar2)->isHidden());
    });
    watcher.start(0);
    qobject_cast<QPushButton*>(Widget(Control::btOK))->click();
    watcher.stop();

    EXPECT_TRUE(shown);
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(backups.Path()))
        files.push_back(entry.path().string());
    ASSERT_EQ(files.size(), 1u);
    const std::string memo = window.MemoText();
    EXPECT_NE(memo.find("Наявність архиватора RAR...[OK]\r\nРезервна копія бази даних...[OK]\r\n" +
                        files.front() + "\r\nКопіювання пакету\r\n"),
              std::string::npos)
        << memo;
    EXPECT_EQ(m_product.DatabaseVersion(), "255");
}

TEST_F(QtRunTest, AFrameCloseDuringTheInstallTakesEffectWhenItHasReturned) {
    QtWindow& window = Start().Window();
    ASSERT_TRUE(Widget(Control::btOK)->isEnabled());
    bool asked = false;
    bool accepted = true;
    // Fires at the install's first PumpMessages.
    QTimer::singleShot(0, &window, [&] {
        asked = true;
        accepted = window.close();
    });
    qobject_cast<QPushButton*>(Widget(Control::btOK))->click();
    EXPECT_TRUE(asked);
    EXPECT_FALSE(accepted);
    EXPECT_FALSE(window.isVisible());
    // The install ran to its end before the window went.
    EXPECT_TRUE(Widget(Control::btOK)->isHidden());
    EXPECT_EQ(m_product.DatabaseVersion(), "255");
    EXPECT_EQ(ReadFile(m_product.Program / "Norvanework.exe"), ExampleFile("Norvanework.exe"));
}

TEST_F(QtRunTest, AFailingAttachIsShownBeforeTheWindow) {
    const std::string missing = m_product.Temp / "missing.fdb";
    m_product.WriteIni(missing);
    bool visibleWithBox = true;
    const auto boxes = DismissBoxesDuring(
        [&] { Start(); }, [&] { visibleWithBox = m_program->Window().isVisible(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("missing.fdb"), std::string::npos) << boxes[0];
    EXPECT_FALSE(visibleWithBox);

    QtWindow& window = m_program->Window();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(LastLine(window.MemoText()), missing);
    EXPECT_FALSE(Widget(Control::btOK)->isEnabled());
    EXPECT_TRUE(Widget(Control::btCancel)->isEnabled());
    EXPECT_EQ(Text(Widget(Control::lCurVer)), "-");
    EXPECT_EQ(Text(Widget(Control::lActVer)), "-");
}

TEST_F(QtRunTest, AClientLibraryThatCannotBeLoadedIsShownAndTheProgramEndsWithZero) {
    int status = -1;
    std::vector<std::string> boxes;
    {
        testing::EnvironmentOverride missing("NORVANE_FBCLIENT", "/nonexistent/libfbclient.so.2");
        boxes = DismissBoxesDuring([&] { status = RunWindowProgram(); });
    }
    EXPECT_EQ(status, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("/nonexistent/libfbclient.so.2"), std::string::npos) << boxes[0];
}

} // namespace
} // namespace norvane::qt
