#pragma once

#include "frontends/win32/win32_window.h"
#include "frontends/window_program.h"

namespace norvane::win32 {

/// The Win32 window with the update logic behind it.
using WindowProgram = frontends::WindowProgram<Win32Window>;

/// The program with its window, until the window is closed. Always returns 0, also after an
/// error at start, which is shown first.
int RunWindowProgram();

} // namespace norvane::win32
