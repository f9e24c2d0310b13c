#pragma once

#include "frontends/qt/qt_window.h"
#include "frontends/window_program.h"

#include <optional>
#include <ostream>
#include <string>

namespace norvane::qt {

/// The Qt window with the update logic behind it.
using WindowProgram = frontends::WindowProgram<QtWindow>;

/// The program with its window, until the window is closed. Needs a QApplication. Always
/// returns 0, also after an error at start, which is shown first.
int RunWindowProgram(const app::StartupPaths& paths = app::StartupPaths::FromPlatform());

/// Why Qt has no display to open a window on: no platform named (QT_QPA_PLATFORM) and neither
/// DISPLAY nor WAYLAND_DISPLAY set; nothing otherwise.
std::optional<std::string> NoDisplayReason();

/// Makes the QApplication and runs the program with its window. Without a display, or when Qt
/// cannot start its platform, says so on err and returns 2 instead of aborting.
int RunWindowApplication(char* programName, const app::StartupPaths& paths, std::ostream& err);

} // namespace norvane::qt
