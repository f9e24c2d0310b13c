#include "frontends/win32/window_program.h"

#include <exception>

namespace norvane::win32 {

WindowProgram::WindowProgram(app::ProcessValues& values, const app::StartupPaths& paths)
    : m_form(std::make_unique<app::TForm1>(m_window, values, paths)) {
    m_window.SetHandlers([this] { m_form->btOKClick(); }, [this] { m_form->btCancelClick(); });
}

void WindowProgram::Start() {
    m_window.RunHandler([this] { m_form->FormShow(); });
    // btCancel closes the window from inside the checks' box loop only by a later click, so
    // the window can be gone only if it was never meant to be shown.
    if (m_window.IsOpen())
        m_window.Show();
}

int RunWindowProgram() {
    app::ProcessValues values;
    std::unique_ptr<WindowProgram> program;
    try {
        program = std::make_unique<WindowProgram>(values);
    } catch (const std::exception& error) {
        Win32Window().ShowError(error.what());
        return 0;
    } catch (...) {
        Win32Window().ShowError("");
        return 0;
    }
    program->Start();
    program->Window().RunMessageLoop();
    return 0;
}

} // namespace norvane::win32
