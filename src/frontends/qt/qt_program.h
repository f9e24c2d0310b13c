#pragma once

#include "frontends/qt/qt_window.h"
#include "frontends/window_program.h"

namespace norvane::qt {

/// The Qt window with the update logic behind it.
using WindowProgram = frontends::WindowProgram<QtWindow>;

/// The program with its window, until the window is closed. Needs a QApplication. Always
/// returns 0, also after an error at start, which is shown first.
int RunWindowProgram();

} // namespace norvane::qt
