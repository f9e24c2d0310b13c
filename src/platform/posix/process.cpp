#include "platform/process.h"

#include "base/path_rules.h"
#include "base/text.h"
#include "platform/paths.h"
#include "platform/posix/handles.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace norvane::platform {

namespace {

bool IsAllDigits(const char* text) {
    if (*text == '\0')
        return false;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9')
            return false;
    }
    return true;
}

// The file name of a path written by either system's rules, so that programs run under Wine
// ("C:\Program\Norvanework.exe") are seen as well.
std::string_view LastComponent(std::string_view path) {
    const auto last = path.find_last_of("/\\");
    return last == std::string_view::npos ? path : path.substr(last + 1);
}

std::string ExecutableNameOf(const std::string& procEntry) {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink((procEntry + "/exe").c_str(), buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size())
        return {};
    std::string_view target(buffer.data(), static_cast<std::size_t>(length));
    constexpr std::string_view deleted = " (deleted)";
    if (target.ends_with(deleted))
        target.remove_suffix(deleted.size());
    return std::string(LastComponent(target));
}

std::string ArgvZeroNameOf(const std::string& procEntry) {
    std::ifstream cmdline(procEntry + "/cmdline", std::ios::binary);
    std::string argv0;
    std::getline(cmdline, argv0, '\0');
    return std::string(LastComponent(argv0));
}

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::string FindOnPath(std::string_view program) {
    const char* path = std::getenv("PATH");
    std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!folders.empty()) {
        const auto colon = folders.find(':');
        const auto folder = folders.substr(0, colon);
        if (!folder.empty()) {
            const auto candidate = JoinPath(folder, program, PosixPathRules);
            if (IsExecutableFile(candidate))
                return candidate;
        }
        if (colon == std::string_view::npos)
            break;
        folders.remove_prefix(colon + 1);
    }
    return {};
}

class PosixSpawnActions {
public:
    PosixSpawnActions() { ::posix_spawn_file_actions_init(&m_actions); }
    ~PosixSpawnActions() { ::posix_spawn_file_actions_destroy(&m_actions); }
    PosixSpawnActions(const PosixSpawnActions&) = delete;
    PosixSpawnActions& operator=(const PosixSpawnActions&) = delete;
    posix_spawn_file_actions_t* Get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions{};
};

class PosixArchiverProcess final : public ArchiverProcess {
public:
    explicit PosixArchiverProcess(pid_t pid) : m_pid(pid) {}

    ~PosixArchiverProcess() override {
        // Never leave a zombie behind, even when nobody waited.
        if (m_pid > 0)
            ::waitpid(m_pid, nullptr, 0);
    }

    int Wait(const std::function<void()>& pump) override {
        int status = 0;
        for (;;) {
            const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid)
                break;
            if (done < 0 && errno != EINTR) {
                m_pid = -1;
                return -1;
            }
            if (pump)
                pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        m_pid = -1;
        if (WIFEXITED(status))
            return WEXITSTATUS(status);
        return 128 + WTERMSIG(status);
    }

private:
    pid_t m_pid;
};

} // namespace

bool IsProcessRunning(std::string_view exeFileName) {
    const posix::DirectoryHandle proc("/proc");
    if (proc.Get() == nullptr)
        return false;
    while (const dirent* entry = ::readdir(proc.Get())) {
        if (!IsAllDigits(entry->d_name))
            continue;
        const std::string procEntry = std::string("/proc/") + entry->d_name;
        // /proc/<pid>/comm is cut at 15 characters, so it is never trusted on its own.
        if (SameTextAscii(ExecutableNameOf(procEntry), exeFileName) ||
            SameTextAscii(ArgvZeroNameOf(procEntry), exeFileName))
            return true;
    }
    return false;
}

std::string FindArchiver(const std::string& exeDir) {
    const auto beside = JoinPath(exeDir, "rar", PosixPathRules);
    if (IsExecutableFile(beside))
        return beside;
    return FindOnPath("unrar");
}

std::unique_ptr<ArchiverProcess> ArchiverProcess::Start(const std::string& archiverPath,
                                                        const std::string& archivePath,
                                                        const std::string& workFolder) {
    PosixSpawnActions actions;
    // The archiver's chatter goes to a file in the work folder, not to the terminal.
    const std::string output = JoinPath(workFolder, "archiver.log", PosixPathRules);
    if (::posix_spawn_file_actions_addopen(actions.Get(), 0, "/dev/null", O_RDONLY, 0) != 0 ||
        ::posix_spawn_file_actions_addopen(actions.Get(), 1, output.c_str(),
                                           O_WRONLY | O_CREAT | O_TRUNC, 0600) != 0 ||
        ::posix_spawn_file_actions_adddup2(actions.Get(), 1, 2) != 0 ||
        // Nothing else of the installer reaches the archiver: not the database file, not the
        // client's lock files, not the work folder's lock, whether or not they were opened
        // close-on-exec.
        ::posix_spawn_file_actions_addclosefrom_np(actions.Get(), 3) != 0 ||
        ::posix_spawn_file_actions_addchdir_np(actions.Get(), workFolder.c_str()) != 0)
        return nullptr;

    std::vector<std::string> arguments{archiverPath, "x", "-o+", archivePath};
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    if (::posix_spawn(&pid, archiverPath.c_str(), actions.Get(), nullptr, argv.data(), environ) !=
        0)
        return nullptr;
    return std::make_unique<PosixArchiverProcess>(pid);
}

} // namespace norvane::platform
