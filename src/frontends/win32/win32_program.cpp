#include "frontends/win32/win32_program.h"

namespace norvane::win32 {

int RunWindowProgram() {
    return frontends::RunWindowProgram<Win32Window>(
        app::StartupPaths::FromPlatform(), [](Win32Window& window) { window.RunMessageLoop(); });
}

} // namespace norvane::win32
