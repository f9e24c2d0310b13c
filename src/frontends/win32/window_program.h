#pragma once

#include "app/form1.h"
#include "app/process_values.h"
#include "frontends/win32/win32_window.h"

#include <memory>

namespace norvane::win32 {

/// The Win32 window with the update logic behind it.
class WindowProgram {
public:
    /// Creates the window and runs its construction steps; raises what they raise (a client
    /// library that cannot be loaded, for one).
    WindowProgram(app::ProcessValues& values,
                  const app::StartupPaths& paths = app::StartupPaths::FromPlatform());

    /// Runs the checks and then shows the window, so that it appears holding their lines
    /// and any box they raise comes before it.
    void Start();

    Win32Window& Window() { return m_window; }
    app::TForm1& Form() { return *m_form; }

private:
    Win32Window m_window;
    std::unique_ptr<app::TForm1> m_form;
};

/// The program with its window: start, message loop until the window is closed. Always
/// returns 0, also after an error at start, which is shown first.
int RunWindowProgram();

} // namespace norvane::win32
