// Runs under Xvfb: the window after a full run, taken from the screen into a PNG file.
#include "frontends/qt/qt_program.h"

#include "demo_product.h"

#include <QPlainTextEdit>

#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace norvane::qt {
namespace {

TEST(QtScreenshotTest, TheWindowAfterARunIsDrawnOnTheScreen) {
    testing::DemoProduct product;
    app::ProcessValues values;
    WindowProgram program(values, {product.InstallerPath(), product.Temp.Str()});
    program.Start();
    QtWindow& window = program.Window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    qobject_cast<QPushButton*>(window.Widget(ui::Control::btOK))->click();
    ASSERT_TRUE(window.Widget(ui::Control::btOK)->isHidden());
    // Drawn and sent to the display now: the grab below asks the same connection, after it.
    window.repaint();

    const QImage shot = window.screen()->grabWindow(window.winId()).toImage();
    const auto folder = std::filesystem::path(NORVANE_ARTIFACT_DIR);
    std::filesystem::create_directories(folder);
    const auto file = folder / "qt-window.png";
    ASSERT_TRUE(shot.save(QString::fromStdString(file.string()), "PNG"));

    EXPECT_EQ(shot.width(), 635);
    EXPECT_EQ(shot.height(), 456);
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 2)
        for (int x = 0; x < shot.width(); x += 2)
            colours.insert(shot.pixel(x, y));
    // Face, memo background, text, bevels and button frames at least.
    EXPECT_GE(colours.size(), 6) << file;
    // The memo's tooltip background is on the screen where the memo is.
    const QColor memoColour = window.Memo2()->palette().color(QPalette::Base);
    EXPECT_EQ(QColor(shot.pixel(46 + 500, 22 + 200)).rgb(), memoColour.rgb());
}

} // namespace
} // namespace norvane::qt
