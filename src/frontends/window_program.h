#pragma once

#include "app/form1.h"
#include "app/process_values.h"

#include <exception>
#include <functional>
#include <memory>

namespace norvane::frontends {

/// A toolkit window (a ui::EventWindow) with the update logic behind it.
template <typename ToolkitWindow> class WindowProgram {
public:
    /// Creates the window and runs its construction steps; raises what they raise (a client
    /// library that cannot be loaded, for one).
    explicit WindowProgram(app::ProcessValues& values,
                           const app::StartupPaths& paths = app::StartupPaths::FromPlatform())
        : m_form(std::make_unique<app::TForm1>(m_window, values, paths)) {
        m_window.SetHandlers([this] { Noted([this] { m_form->btOKClick(); }); },
                             [this] { m_form->btCancelClick(); });
    }

    /// Runs the checks and then shows the window, so that it appears holding their lines and
    /// any box they raise comes before it.
    void Start() {
        m_window.RunHandler([this] { Noted([this] { m_form->FormShow(); }); });
        m_window.ShowAfterChecks();
    }

    ToolkitWindow& Window() { return m_window; }
    app::TForm1& Form() { return *m_form; }

private:
    // An error that ends a handler goes into the run's history before the error display
    // shows it.
    template <typename Handler> void Noted(Handler&& handler) {
        try {
            handler();
        } catch (const std::exception& error) {
            m_form->NoteError(error.what());
            throw;
        }
    }

    ToolkitWindow m_window;
    std::unique_ptr<app::TForm1> m_form;
};

/// The program with its window: start, then messageLoop until the window is closed. Always
/// returns 0, also after an error at start, which is shown first.
template <typename ToolkitWindow>
int RunWindowProgram(const app::StartupPaths& paths,
                     const std::function<void(ToolkitWindow&)>& messageLoop) {
    app::ProcessValues values;
    std::unique_ptr<WindowProgram<ToolkitWindow>> program;
    try {
        program = std::make_unique<WindowProgram<ToolkitWindow>>(values, paths);
    } catch (const std::exception& error) {
        ToolkitWindow().ShowError(error.what());
        return 0;
    } catch (...) {
        // Nothing of this program throws anything else; a library might, and its error is
        // still shown, without a text to show.
        ToolkitWindow().ShowError("");
        return 0;
    }
    program->Start();
    messageLoop(program->Window());
    program->Form().FinishRun();
    return 0;
}

} // namespace norvane::frontends
