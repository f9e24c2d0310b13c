#include "platform/process.h"

#include "base/path_rules.h"
#include "base/text.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/win32/wide.h"

#include <tlhelp32.h>

namespace norvane::platform {

using win32::Handle;
using win32::Wide;

bool IsProcessRunning(std::string_view exeFileName) {
    Handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.Valid())
        return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry)) {
        const std::string name = win32::Utf8(entry.szExeFile);
        if (SameTextAscii(FileNameOf(name, WindowsPathRules), exeFileName))
            return true;
    }
    return false;
}

std::string FindArchiver(const std::string& exeDir) {
    std::string path = JoinPath(exeDir, "rar.exe");
    return FileExists(path) ? path : std::string();
}

namespace {

class Win32ArchiverProcess : public ArchiverProcess {
public:
    Win32ArchiverProcess(HANDLE process, HANDLE thread) : m_process(process), m_thread(thread) {}

    int Wait(const std::function<void()>& pump) override {
        // The window keeps painting while the archiver works: every message that arrives
        // wakes the wait and is handed to the pump.
        for (;;) {
            HANDLE handle = m_process.Get();
            const DWORD result =
                ::MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
            if (result == WAIT_OBJECT_0 + 1) {
                if (pump)
                    pump();
                continue;
            }
            if (result != WAIT_OBJECT_0)
                ::WaitForSingleObject(handle, INFINITE);
            break;
        }
        DWORD code = 0;
        if (!::GetExitCodeProcess(m_process.Get(), &code))
            return -1;
        return static_cast<int>(code);
    }

private:
    Handle m_process;
    Handle m_thread;
};

} // namespace

std::unique_ptr<ArchiverProcess> ArchiverProcess::Start(const std::string& archiverPath,
                                                        const std::string& archivePath,
                                                        const std::string& workFolder) {
    // RAR's own command line, the archiver's path unquoted as the product has always sent it;
    // a path with blanks is quoted, since the archiver would take its second word for the
    // command and unpack nothing.
    const bool hasBlank = archiverPath.find_first_of(" \t") != std::string::npos;
    const std::string program = hasBlank ? "\"" + archiverPath + "\"" : archiverPath;
    std::wstring commandLine = Wide(program + " x -o+ \"" + archivePath + "\" ");
    // The program is named on its own as well, so that the system never searches for it.
    const std::wstring application = Wide(archiverPath);
    const std::wstring folder = Wide(workFolder);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                          nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &info))
        return nullptr;
    return std::make_unique<Win32ArchiverProcess>(info.hProcess, info.hThread);
}

} // namespace norvane::platform
