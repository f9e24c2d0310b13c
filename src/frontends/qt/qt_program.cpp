#include "frontends/qt/qt_program.h"

#include "base/text.h"
#include "ui/window.h"

#include <QApplication>

#include <cstdlib>

namespace norvane::qt {

namespace {

constexpr int NoWindowStatus = 2;
constexpr std::string_view UnattendedHint = "; без вікна: norvane-update --unattended";

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Qt ends the program with abort() when its platform cannot start; the error output gets a
// line that says why, and the status says it as any failed start does.
std::ostream* fatalStream = nullptr;
QtMessageHandler previousHandler = nullptr;

void EndOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    // Qt hands back its default handler when none was installed, so there always is one.
    if (type != QtFatalMsg) {
        previousHandler(type, context, message);
        return;
    }
    std::string why = OneLine(message.toStdString());
    while (!why.empty() && why.back() == '.')
        why.pop_back();
    *fatalStream << ui::ErrorText("не вдалося відкрити вікно: " + why + std::string(UnattendedHint))
                 << std::endl;
    std::_Exit(NoWindowStatus);
}

} // namespace

int RunWindowProgram(const app::StartupPaths& paths) {
    return frontends::RunWindowProgram<QtWindow>(paths, [](QtWindow&) { QApplication::exec(); });
}

std::optional<std::string> NoDisplayReason() {
    if (IsSet("QT_QPA_PLATFORM") || IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY"))
        return std::nullopt;
    return "немає дисплея для вікна (не задано DISPLAY і WAYLAND_DISPLAY)";
}

int RunWindowApplication(char* programName, const app::StartupPaths& paths, std::ostream& err) {
    if (const auto reason = NoDisplayReason()) {
        err << ui::ErrorText(*reason + std::string(UnattendedHint)) << std::endl;
        return NoWindowStatus;
    }
    static int qtArgc = 1;
    static char* qtArgv[] = {programName, nullptr};
    fatalStream = &err;
    previousHandler = qInstallMessageHandler(EndOnFatal);
    QApplication application(qtArgc, qtArgv);
    qInstallMessageHandler(previousHandler);
    return RunWindowProgram(paths);
}

} // namespace norvane::qt
