#pragma once

#include "platform/win32/wide.h"

#include <functional>
#include <string>
#include <vector>

namespace norvane::testing {

/// The folder of the running test program, where its helper programs are built.
std::string TestProgramFolder();

/// Calls visit for each top-level window, each child of a window, or each window of a thread,
/// until it returns false.
void ForEachWindow(const std::function<bool(HWND)>& visit);
void ForEachChild(HWND window, const std::function<bool(HWND)>& visit);
void ForEachThreadWindow(DWORD thread, const std::function<bool(HWND)>& visit);

/// The window's class name.
std::wstring ClassOf(HWND window);

/// The visible top-level window of a window class that a process shows, or null.
HWND ShownWindowOf(DWORD processId, const std::wstring& className);

/// The text of a control, also of another process's: WM_GETTEXT is carried across.
std::string ControlText(HWND control);

/// The child of a window whose class is className, or null.
HWND ChildOfClass(HWND window, const std::wstring& className);

/// The message of a message box (its static text).
std::string MessageBoxText(HWND box);

/// Variables a started program gets on top of this process's: "NAME=value" each, replacing
/// a variable of the same name.
using ExtraEnvironment = std::vector<std::string>;

/// A started program, ended (if it still runs) and waited for when the owner goes.
class StartedProgram {
public:
    StartedProgram(const std::string& path, const std::string& arguments, const std::string& folder,
                   const ExtraEnvironment& environment = {});
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    bool Started() const { return m_process.Valid(); }
    /// The system's error code of the last failed start.
    DWORD Error() const { return m_error; }
    HANDLE Process() const { return m_process.Get(); }
    DWORD ProcessId() const { return m_id; }
    /// Waits for the program's end; its exit code, or -1 when it did not end in time.
    int Wait(DWORD milliseconds);

private:
    platform::win32::Handle m_process;
    DWORD m_id = 0;
    DWORD m_error = 0;
};

/// What a finished program wrote and returned.
struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

/// Runs a program to its end (at most a minute) with its output captured.
ProgramRun RunCaptured(const std::string& path, const std::string& arguments,
                       const std::string& folder, const ExtraEnvironment& environment = {});

} // namespace norvane::testing
