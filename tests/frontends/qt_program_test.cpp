// The program's start as main makes it: this executable has no QApplication of its own, the
// program makes one on Qt's offscreen platform.
#include "frontends/qt/qt_program.h"

#include "demo_product.h"
#include "support/environment_override.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

namespace norvane::qt {
namespace {

using testing::DemoProduct;
using testing::EnvironmentOverride;
using testing::ReadFile;

// Sets a variable, or removes it for nullptr, for the owner's life.
class Variable {
public:
    Variable(const char* name, const char* value) : m_restore(name, "") {
        if (value == nullptr)
            ::unsetenv(name);
        else
            ::setenv(name, value, 1);
    }

private:
    EnvironmentOverride m_restore;
};

constexpr std::string_view NoDisplay =
    "немає дисплея для вікна (не задано DISPLAY і WAYLAND_DISPLAY)";

TEST(QtProgramTest, AWindowNeedsANamedPlatformOrADisplay) {
    struct Case {
        const char* platform;
        const char* display;
        const char* wayland;
        bool opens;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, false},    {"", "", "", false},
        {"offscreen", nullptr, nullptr, true}, {nullptr, ":0", nullptr, true},
        {"", "", "wayland-0", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.platform ? c.platform : "-") + " " +
                     (c.display ? c.display : "-") + " " + (c.wayland ? c.wayland : "-"));
        Variable platform("QT_QPA_PLATFORM", c.platform);
        Variable display("DISPLAY", c.display);
        Variable wayland("WAYLAND_DISPLAY", c.wayland);
        const auto reason = NoDisplayReason();
        if (c.opens)
            EXPECT_EQ(reason, std::nullopt);
        else
            EXPECT_EQ(reason, std::string(NoDisplay));
    }
}

TEST(QtProgramTest, WithoutADisplayTheProgramSaysSoAndMakesNoApplication) {
    DemoProduct product;
    Variable platform("QT_QPA_PLATFORM", "");
    Variable display("DISPLAY", nullptr);
    Variable wayland("WAYLAND_DISPLAY", nullptr);
    std::ostringstream err;
    char name[] = "norvane-update";
    EXPECT_EQ(RunWindowApplication(name, {product.InstallerPath(), product.Temp.Str()}, err), 2);
    EXPECT_EQ(err.str(),
              "error: " + std::string(NoDisplay) + "; без вікна: norvane-update --unattended\n");
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(product.Program / "norvane-update.log"));
}

// What the user would do, run from inside the application the program makes: Qt calls its
// start routines while the application is being made.
std::function<void()> onApplicationStart;

void CallOnApplicationStart() {
    if (onApplicationStart)
        onApplicationStart();
}

std::vector<std::string> receivedWarnings;

void RecordWarning(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg)
        receivedWarnings.push_back(message.toStdString());
}

QtWindow* ShownWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* window = dynamic_cast<QtWindow*>(widget); window && window->isVisible())
            return window;
    return nullptr;
}

// The user dismisses every box, noting whether the window was up behind it, and closes the
// window once it shows, noting its memo.
struct User {
    std::vector<std::string> boxes;
    bool windowBehindBox = false;
    std::string memo;
    bool closedWindow = false;

    void Act() {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (!box->isVisible())
                return;
            boxes.push_back(box->text().toStdString());
            windowBehindBox = windowBehindBox || ShownWindow() != nullptr;
            box->accept();
            return;
        }
        if (QtWindow* window = ShownWindow()) {
            memo = window->MemoText();
            closedWindow = true;
            window->close();
        }
    }
};

class QtProgramRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const bool added = [] {
            qAddPreRoutine(CallOnApplicationStart);
            return true;
        }();
        (void)added;
        receivedWarnings.clear();
        onApplicationStart = [this] {
            // Said while the application is made: what is no fatal error goes on as before.
            qWarning("norvane start warning");
            auto* timer = new QTimer(QCoreApplication::instance());
            QObject::connect(timer, &QTimer::timeout, [this] { m_user.Act(); });
            timer->start(10);
        };
    }
    void TearDown() override { onApplicationStart = nullptr; }

    int Run() {
        Variable platform("QT_QPA_PLATFORM", "offscreen");
        const QtMessageHandler before = qInstallMessageHandler(RecordWarning);
        char name[] = "norvane-update";
        const int status =
            RunWindowApplication(name, {m_product.InstallerPath(), m_product.Temp.Str()}, m_err);
        m_handlerAfter = qInstallMessageHandler(before);
        return status;
    }
    std::string History() { return ReadFile(m_product.Program.Path() / "norvane-update.log"); }

    DemoProduct m_product;
    User m_user;
    std::ostringstream m_err;
    QtMessageHandler m_handlerAfter = nullptr;
};

TEST_F(QtProgramRunTest, AnAttachThatFailsIsShownThenTheWindowAndTheHistoryHaveIt) {
    const std::string missing = m_product.Temp / "missing.fdb";
    m_product.WriteIni(missing);

    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_EQ(m_err.str(), "");
    EXPECT_NE(std::find(receivedWarnings.begin(), receivedWarnings.end(), "norvane start warning"),
              receivedWarnings.end());
    EXPECT_EQ(m_handlerAfter, &RecordWarning);

    ASSERT_EQ(m_user.boxes.size(), 1u);
    EXPECT_NE(m_user.boxes[0].find(missing), std::string::npos) << m_user.boxes[0];
    EXPECT_FALSE(m_user.windowBehindBox);
    EXPECT_TRUE(m_user.closedWindow);
    EXPECT_NE(m_user.memo.find("\r\n" + missing + "\r\n"), std::string::npos) << m_user.memo;

    const std::string history = History();
    const auto error = history.find("помилка: ");
    ASSERT_NE(error, std::string::npos) << history;
    EXPECT_NE(history.find("missing.fdb", error), std::string::npos) << history;
    EXPECT_NE(history.find("результат: помилка, базу даних не оновлено до останнього пакета "
                           "(код 2)\n",
                           error),
              std::string::npos)
        << history;
}

TEST_F(QtProgramRunTest, AClientLibraryThatCannotBeLoadedIsShownWithoutTheWindow) {
    EnvironmentOverride missing("NORVANE_FBCLIENT", "/nonexistent/libfbclient.so.2");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(m_err.str(), "");
    ASSERT_EQ(m_user.boxes.size(), 1u);
    EXPECT_NE(m_user.boxes[0].find("/nonexistent/libfbclient.so.2"), std::string::npos)
        << m_user.boxes[0];
    EXPECT_FALSE(m_user.windowBehindBox);
    EXPECT_FALSE(m_user.closedWindow);
    // The run never started, so it has nothing to account for.
    EXPECT_FALSE(std::filesystem::exists(m_product.Program / "norvane-update.log"));
}

} // namespace
} // namespace norvane::qt
