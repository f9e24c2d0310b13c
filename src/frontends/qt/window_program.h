#pragma once

#include "app/form1.h"
#include "app/process_values.h"
#include "frontends/qt/qt_window.h"

#include <memory>

namespace norvane::qt {

/// The Qt window with the update logic behind it.
class WindowProgram {
public:
    /// Creates the window and runs its construction steps; raises what they raise (a client
    /// library that cannot be loaded, for one).
    WindowProgram(app::ProcessValues& values,
                  const app::StartupPaths& paths = app::StartupPaths::FromPlatform());

    /// Runs the checks and then shows the window, so that it appears holding their lines
    /// and any box they raise comes before it.
    void Start();

    QtWindow& Window() { return m_window; }
    app::TForm1& Form() { return *m_form; }

private:
    QtWindow m_window;
    std::unique_ptr<app::TForm1> m_form;
};

/// The program with its window: start, message loop until the window is closed. Needs a
/// QApplication. Always returns 0, also after an error at start, which is shown first.
int RunWindowProgram();

} // namespace norvane::qt
