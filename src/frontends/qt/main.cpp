#include "frontends/console/unattended.h"
#include "frontends/qt/qt_program.h"
#include "platform/interrupt.h"

#include <QApplication>

#include <clocale>
#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    using namespace norvane;
    // Before any thread starts, so that every later one leaves the signals to the program's.
    platform::TakeOverSignals();
    // File lists are ordered by the user's collation, in the window and unattended alike.
    std::setlocale(LC_COLLATE, "");
    const std::vector<std::string_view> arguments(argv + std::min(argc, 1), argv + argc);
    if (const auto options = console::UnattendedOptionsOf(arguments)) {
        app::ProcessValues values;
        return static_cast<int>(console::RunUnattended(values, app::StartupPaths::FromPlatform(),
                                                       std::cout, std::cerr, *options));
    }
    // Any other command line is ignored; Qt is not given it to interpret either.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    return qt::RunWindowProgram();
}
