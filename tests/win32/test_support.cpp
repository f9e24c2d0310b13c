#include "test_support.h"

#include "platform/paths.h"

#include <cwchar>
#include <vector>

namespace norvane::testing {

using platform::win32::Wide;

namespace {

// This process's environment block with the extra variables put in, for CreateProcessW with
// CREATE_UNICODE_ENVIRONMENT.
std::wstring EnvironmentBlock(const ExtraEnvironment& extra) {
    std::vector<std::wstring> variables;
    for (const std::string& variable : extra)
        variables.push_back(Wide(variable));
    const auto nameOf = [](const std::wstring& variable) {
        // A leading "=" belongs to the name (the system's "=C:" entries).
        return variable.substr(0, variable.find(L'=', 1));
    };
    wchar_t* own = ::GetEnvironmentStringsW();
    for (const wchar_t* entry = own; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        const std::wstring variable(entry);
        bool replaced = false;
        for (const std::string& given : extra)
            replaced =
                replaced || ::_wcsicmp(nameOf(Wide(given)).c_str(), nameOf(variable).c_str()) == 0;
        if (!replaced)
            variables.push_back(variable);
    }
    ::FreeEnvironmentStringsW(own);
    std::wstring block;
    for (const std::wstring& variable : variables)
        block += variable + L'\0';
    return block + L'\0';
}

// The system's enumerations take a function of its own calling convention, not a lambda.
BOOL CALLBACK Visit(HWND window, LPARAM visitor) {
    return (*reinterpret_cast<const std::function<bool(HWND)>*>(visitor))(window) ? TRUE : FALSE;
}

LPARAM VisitorParam(const std::function<bool(HWND)>& visit) {
    return reinterpret_cast<LPARAM>(&visit);
}

} // namespace

std::string TestProgramFolder() {
    return ExecutableFolder(platform::ExecutablePath(), WindowsPathRules);
}

void ForEachWindow(const std::function<bool(HWND)>& visit) {
    ::EnumWindows(Visit, VisitorParam(visit));
}

void ForEachChild(HWND window, const std::function<bool(HWND)>& visit) {
    ::EnumChildWindows(window, Visit, VisitorParam(visit));
}

void ForEachThreadWindow(DWORD thread, const std::function<bool(HWND)>& visit) {
    ::EnumThreadWindows(thread, Visit, VisitorParam(visit));
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256];
    const int length = ::GetClassNameW(window, name, 256);
    return std::wstring(name, static_cast<std::size_t>(length > 0 ? length : 0));
}

HWND ShownWindowOf(DWORD processId, const std::wstring& className) {
    HWND found = nullptr;
    ForEachWindow([&](HWND window) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner != processId || ClassOf(window) != className || !::IsWindowVisible(window))
            return true;
        found = window;
        return false;
    });
    return found;
}

std::string ControlText(HWND control) {
    const auto length = ::SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const auto copied =
        ::SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return platform::win32::Utf8(text);
}

HWND ChildOfClass(HWND window, const std::wstring& className) {
    HWND found = nullptr;
    ForEachChild(window, [&](HWND child) {
        if (::_wcsicmp(ClassOf(child).c_str(), className.c_str()) != 0)
            return true;
        found = child;
        return false;
    });
    return found;
}

std::string MessageBoxText(HWND box) {
    // The box's icon is a static control too, without text.
    std::string text;
    ForEachChild(box, [&](HWND child) {
        if (::_wcsicmp(ClassOf(child).c_str(), L"Static") == 0 && ::GetWindowTextLengthW(child) > 0)
            text = ControlText(child);
        return true;
    });
    return text;
}

StartedProgram::StartedProgram(const std::string& path, const std::string& arguments,
                               const std::string& folder, const ExtraEnvironment& environment) {
    std::wstring commandLine =
        Wide("\"" + path + "\"" + (arguments.empty() ? "" : " ") + arguments);
    std::wstring block = EnvironmentBlock(environment);
    // Under a loaded Wine a program copied a moment ago is now and then refused once; a real
    // failure stays a failure after a few tries.
    for (int attempt = 0; attempt < 10; ++attempt) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (::CreateProcessW(Wide(path).c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                             CREATE_UNICODE_ENVIRONMENT, block.data(),
                             folder.empty() ? nullptr : Wide(folder).c_str(), &startup, &info)) {
            m_process.Reset(info.hProcess);
            m_id = info.dwProcessId;
            ::CloseHandle(info.hThread);
            return;
        }
        m_error = ::GetLastError();
        ::Sleep(100);
    }
}

StartedProgram::~StartedProgram() {
    if (m_process.Valid() && ::WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(m_process.Get(), 1);
        ::WaitForSingleObject(m_process.Get(), 10000);
    }
}

int StartedProgram::Wait(DWORD milliseconds) {
    if (::WaitForSingleObject(m_process.Get(), milliseconds) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(m_process.Get(), &code);
    return static_cast<int>(code);
}

ProgramRun RunCaptured(const std::string& path, const std::string& arguments,
                       const std::string& folder, const ExtraEnvironment& environment) {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring base = std::wstring(temp) + L"norvane-run-" +
                              std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(::GetTickCount64());
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    const auto open = [&](const std::wstring& name) {
        return platform::win32::Handle(::CreateFileW(
            name.c_str(), GENERIC_WRITE | GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
            &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr));
    };
    platform::win32::Handle out = open(base + L".out"), err = open(base + L".err");
    std::wstring commandLine = Wide("\"" + path + "\" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = out.Get();
    startup.hStdError = err.Get();
    PROCESS_INFORMATION info{};
    ProgramRun run;
    std::wstring block = EnvironmentBlock(environment);
    if (::CreateProcessW(Wide(path).c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                         CREATE_UNICODE_ENVIRONMENT, block.data(), Wide(folder).c_str(), &startup,
                         &info)) {
        platform::win32::Handle process(info.hProcess), thread(info.hThread);
        if (::WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0) {
            DWORD code = 0;
            ::GetExitCodeProcess(info.hProcess, &code);
            run.exitCode = static_cast<int>(code);
        } else {
            ::TerminateProcess(info.hProcess, 1);
        }
    }
    const auto read = [](HANDLE file) {
        std::string text(static_cast<std::size_t>(::GetFileSize(file, nullptr)), '\0');
        ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        DWORD done = 0;
        ::ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        text.resize(done);
        return text;
    };
    run.out = read(out.Get());
    run.err = read(err.Get());
    out.Reset();
    err.Reset();
    ::DeleteFileW((base + L".out").c_str());
    ::DeleteFileW((base + L".err").c_str());
    return run;
}

} // namespace norvane::testing
