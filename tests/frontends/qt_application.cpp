// One QApplication for the whole test executable, made before the first test runs. The
// platform is offscreen unless the test's environment names another (the screenshot test
// runs under Xvfb).
#include "qt_application.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace norvane::testing {

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        m_application = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override { m_application.reset(); }

private:
    int m_argc = 1;
    char m_name[16] = "frontend-tests";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_application;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace

std::vector<std::string> DismissBoxesDuring(const std::function<void()>& call,
                                            const std::function<void()>& onBox) {
    std::vector<std::string> texts;
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        texts.push_back(box->text().toStdString());
        if (onBox)
            onBox();
        box->accept();
    });
    watcher.start();
    call();
    watcher.stop();
    return texts;
}

} // namespace norvane::testing
