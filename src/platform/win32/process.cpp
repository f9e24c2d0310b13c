#include "platform/process.h"

#include "base/exceptions.h"
#include "base/path_rules.h"
#include "base/text.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/paths.h"
#include "platform/win32/wide.h"

#include <tlhelp32.h>

#include <vector>

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

namespace {

// A relative path taken from the current folder now: the archiver starts in the work folder,
// where it would mean another file.
std::string FullPath(const std::string& path) {
    const std::wstring wide = Wide(path);
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return {};
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return {};
    full.resize(length);
    return win32::Utf8(full);
}

} // namespace

std::string FindArchiver(const std::string& exeDir) {
    const std::string path = FullPath(JoinPath(exeDir, "rar.exe"));
    return !path.empty() && FileExists(path) ? path : std::string();
}

namespace {

constexpr DWORD InterruptPoll = 100;

class Win32ArchiverProcess : public ArchiverProcess {
public:
    Win32ArchiverProcess(HANDLE process, HANDLE thread) : m_process(process), m_thread(thread) {}

    int Wait(const std::function<void()>& pump) override {
        // The window keeps painting while the archiver works: every message that arrives
        // wakes the wait and is handed to the pump. An interruption is looked at every
        // InterruptPoll and ends the archiver.
        for (;;) {
            HANDLE handle = m_process.Get();
            const DWORD result =
                ::MsgWaitForMultipleObjects(1, &handle, FALSE, InterruptPoll, QS_ALLINPUT);
            if (result == WAIT_OBJECT_0 + 1 || result == WAIT_TIMEOUT) {
                if (InterruptRequested())
                    ::TerminateProcess(handle, ERROR_CANCELLED);
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

namespace {

// A handle the archiver inherits: the only kind it gets.
win32::Handle InheritableFile(const std::wstring& name, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof(inherit);
    inherit.bInheritHandle = TRUE;
    return win32::Handle(::CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The archiver's output file, made anew: whatever is left in its place (a link among them)
// is removed first, and only a file this call creates is opened.
win32::Handle NewArchiverLog(const std::string& path) {
    const std::wstring name = Wide(path);
    ::DeleteFileW(name.c_str());
    win32::Handle log = InheritableFile(name, GENERIC_WRITE, CREATE_NEW);
    if (!log.Valid())
        throw EOSError("не вдалося створити файл " + path + ": " + LastSystemError().message);
    return log;
}

// The attribute list that limits inheritance to the handles named in it.
class HandleList {
public:
    explicit HandleList(std::vector<HANDLE> handles) : m_handles(std::move(handles)) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_storage.resize(size);
        m_list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.data());
        if (!::InitializeProcThreadAttributeList(m_list, 1, 0, &size)) {
            m_list = nullptr;
            return;
        }
        if (!::UpdateProcThreadAttribute(m_list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                         m_handles.data(), m_handles.size() * sizeof(HANDLE),
                                         nullptr, nullptr)) {
            ::DeleteProcThreadAttributeList(m_list);
            m_list = nullptr;
        }
    }
    ~HandleList() {
        if (m_list != nullptr)
            ::DeleteProcThreadAttributeList(m_list);
    }
    HandleList(const HandleList&) = delete;
    HandleList& operator=(const HandleList&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return m_list; }

private:
    std::vector<HANDLE> m_handles;
    std::vector<char> m_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
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

    // No console input: a question the archiver asks reads the end of input and ends it,
    // instead of waiting for an answer nobody can give in a hidden console. Its output goes
    // to a file in the work folder. These two handles are all it inherits: never the
    // database file, the client's lock files or the work folder's lock.
    const auto cannotStart = [&](const SystemError& error) {
        return EOSError("не вдалося запустити архіватор " + archiverPath + ": " + error.message);
    };
    win32::Handle output = NewArchiverLog(JoinPath(workFolder, ArchiverLogName));
    win32::Handle input = InheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
    if (!input.Valid())
        throw cannotStart(LastSystemError());
    HandleList inherited({input.Get(), output.Get()});
    if (inherited.Get() == nullptr)
        throw cannotStart(LastSystemError());

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdInput = input.Get();
    startup.StartupInfo.hStdOutput = output.Get();
    startup.StartupInfo.hStdError = output.Get();
    startup.lpAttributeList = inherited.Get();
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                          EXTENDED_STARTUPINFO_PRESENT, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo, &info))
        throw cannotStart(LastSystemError());
    return std::make_unique<Win32ArchiverProcess>(info.hProcess, info.hThread);
}

} // namespace norvane::platform
