#include "frontends/qt/qt_program.h"

#include <QApplication>

namespace norvane::qt {

int RunWindowProgram() {
    return frontends::RunWindowProgram<QtWindow>([](QtWindow&) { QApplication::exec(); });
}

} // namespace norvane::qt
