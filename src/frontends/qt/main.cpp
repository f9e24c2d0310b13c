#include "frontends/console/unattended.h"
#include "frontends/qt/qt_program.h"
#include "platform/interrupt.h"

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
    app::ProcessValues values;
    const app::StartupPaths paths = app::StartupPaths::FromPlatform();
    if (const auto status = console::RunWithoutWindow(console::ParseCommandLine(arguments), values,
                                                      paths, std::cout, std::cerr))
        return *status;
    // Qt is not given the command line to interpret: the program has read it whole.
    return qt::RunWindowApplication(argv[0], paths, std::cerr);
}
