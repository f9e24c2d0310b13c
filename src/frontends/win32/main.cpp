#include "frontends/console/unattended.h"
#include "frontends/win32/win32_program.h"
#include "platform/win32/wide.h"

#include <shellapi.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

namespace {

using norvane::platform::win32::Utf8;

std::vector<std::string> Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* list = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (list == nullptr)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(Utf8(list[i]));
    ::LocalFree(list);
    return arguments;
}

bool Usable(DWORD which) {
    HANDLE handle = ::GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// A GUI program has no console of its own. Output already redirected (a pipe, a file) is
// kept; otherwise it goes to the console of the command prompt that started the program.
void ConnectOutput() {
    const bool outUsable = Usable(STD_OUTPUT_HANDLE);
    const bool errUsable = Usable(STD_ERROR_HANDLE);
    if (outUsable && errUsable)
        return;
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    ::SetConsoleOutputCP(CP_UTF8);
    if (!outUsable)
        std::freopen("CONOUT$", "w", stdout);
    if (!errUsable)
        std::freopen("CONOUT$", "w", stderr);
    std::cout.clear();
    std::cerr.clear();
}

} // namespace

int main() {
    using namespace norvane;
    // The current folder is no place to load libraries from.
    ::SetDllDirectoryW(L"");
    const std::vector<std::string> arguments = Arguments();
    const std::vector<std::string_view> views(arguments.begin(), arguments.end());
    const console::CommandLine commandLine = console::ParseCommandLine(views);
    if (commandLine.mode == console::CommandLine::Mode::Window)
        return win32::RunWindowProgram();
    ConnectOutput();
    app::ProcessValues values;
    const auto status = console::RunWithoutWindow(
        commandLine, values, app::StartupPaths::FromPlatform(), std::cout, std::cerr);
    std::cout.flush();
    std::cerr.flush();
    return status.value_or(0);
}
