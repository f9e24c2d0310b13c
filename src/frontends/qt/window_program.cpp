#include "frontends/qt/window_program.h"

#include <QApplication>

#include <exception>

namespace norvane::qt {

WindowProgram::WindowProgram(app::ProcessValues& values, const app::StartupPaths& paths)
    : m_form(std::make_unique<app::TForm1>(m_window, values, paths)) {
    m_window.SetHandlers([this] { m_form->btOKClick(); }, [this] { m_form->btCancelClick(); });
}

void WindowProgram::Start() {
    m_window.RunHandler([this] { m_form->FormShow(); });
    m_window.show();
}

int RunWindowProgram() {
    app::ProcessValues values;
    std::unique_ptr<WindowProgram> program;
    try {
        program = std::make_unique<WindowProgram>(values);
    } catch (const std::exception& error) {
        QtWindow().ShowError(error.what());
        return 0;
    }
    program->Start();
    QApplication::exec();
    return 0;
}

} // namespace norvane::qt
