#include "test_support.h"

#include "platform/paths.h"

namespace norvane::testing {

using platform::win32::Wide;

std::string TestProgramFolder() {
    return ExecutableFolder(platform::ExecutablePath(), WindowsPathRules);
}

StartedProgram::StartedProgram(const std::string& path, const std::string& arguments,
                               const std::string& folder) {
    std::wstring commandLine =
        Wide("\"" + path + "\"" + (arguments.empty() ? "" : " ") + arguments);
    // Under a loaded Wine a program copied a moment ago is now and then refused once; a real
    // failure stays a failure after a few tries.
    for (int attempt = 0; attempt < 10; ++attempt) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (::CreateProcessW(Wide(path).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                             nullptr, folder.empty() ? nullptr : Wide(folder).c_str(), &startup,
                             &info)) {
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
                       const std::string& folder) {
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
    if (::CreateProcessW(Wide(path).c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         Wide(folder).c_str(), &startup, &info)) {
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
