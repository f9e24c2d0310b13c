#include "app/form1.h"

#include "app/configuration.h"
#include "platform/paths.h"

namespace norvane::app {

namespace {

constexpr std::string_view IniFileName = "nrv.ini";
constexpr std::string_view WorkFolderName = "nrv7.nvx";

} // namespace

StartupPaths StartupPaths::FromPlatform() {
    return {platform::ExecutablePath(), platform::TempFolder()};
}

TForm1::TForm1(ui::Window& window, ProcessValues& values, const StartupPaths& paths)
    : m_window(window), m_values(values) {
    m_values.ExeDir = ExecutableFolder(paths.ExecutablePath, platform::NativePathRules());
    m_values.IniPath = JoinPath(m_values.ExeDir, IniFileName);
    m_values.GlobDB = std::make_unique<db::CGlobDB>(m_values.ExeDir, "", "");
    TempDir = paths.TempFolder;
    WorkDir = JoinPath(TempDir, WorkFolderName);
    ReadConfiguration(m_values);
}

void TForm1::btCancelClick() {
    m_window.Close();
}

} // namespace norvane::app
