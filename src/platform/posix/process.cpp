#include "platform/process.h"

#include "base/exceptions.h"
#include "base/path_rules.h"
#include "base/text.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/paths.h"
#include "platform/posix/handles.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <optional>
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

// A relative path taken from the current folder, as the shell would take it now: the
// archiver starts in the work folder, where it would mean another file.
std::string Absolute(const std::string& path) {
    if (path.starts_with('/'))
        return path;
    // A current folder that is gone, or longer than the system takes a path, gives no path a
    // program could be started by.
    std::array<char, PATH_MAX> buffer{};
    if (::getcwd(buffer.data(), buffer.size()) == nullptr)
        return {};
    return JoinPath(buffer.data(), path, PosixPathRules);
}

std::string FindOnPath(std::string_view program) {
    const char* path = std::getenv("PATH");
    std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!folders.empty()) {
        const auto colon = folders.find(':');
        const auto folder = folders.substr(0, colon);
        if (!folder.empty()) {
            const auto candidate = Absolute(JoinPath(folder, program, PosixPathRules));
            if (!candidate.empty() && IsExecutableFile(candidate))
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

class PosixSpawnAttributes {
public:
    PosixSpawnAttributes() { ::posix_spawnattr_init(&m_attributes); }
    ~PosixSpawnAttributes() { ::posix_spawnattr_destroy(&m_attributes); }
    PosixSpawnAttributes(const PosixSpawnAttributes&) = delete;
    PosixSpawnAttributes& operator=(const PosixSpawnAttributes&) = delete;
    posix_spawnattr_t* Get() { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes{};
};

// The archiver starts with no signal blocked and the default action for every signal the
// installer takes over or ignores, as a program started from a shell has them.
int SetDefaultSignals(posix_spawnattr_t* attributes) {
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGXFSZ})
        sigaddset(&defaults, signal);
    if (const int failed = ::posix_spawnattr_setsigmask(attributes, &none); failed != 0)
        return failed;
    if (const int failed = ::posix_spawnattr_setsigdefault(attributes, &defaults); failed != 0)
        return failed;
    return ::posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

// The archiver's output file, made anew: a file or link left in its place is removed first,
// and the new one is never opened through a link.
posix::FileDescriptor NewArchiverLog(const std::string& path) {
    ::unlink(path.c_str());
    posix::FileDescriptor log(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!log.Valid())
        throw EOSError("не вдалося створити файл " + path + ": " + LastSystemError().message);
    return log;
}

[[noreturn]] void CannotStart(const std::string& archiverPath, int error) {
    throw EOSError("не вдалося запустити архіватор " + archiverPath + ": " +
                   SystemErrorText(static_cast<std::uint32_t>(error)));
}

// After an interruption the archiver is asked to end, and made to after this long.
constexpr std::chrono::seconds StopGrace{2};

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
            if (InterruptRequested())
                Stop();
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
    void Stop() {
        const auto now = std::chrono::steady_clock::now();
        if (!m_stopAsked) {
            ::kill(m_pid, SIGTERM);
            m_stopAsked = now;
        } else if (now - *m_stopAsked > StopGrace) {
            ::kill(m_pid, SIGKILL);
        }
    }

    pid_t m_pid;
    std::optional<std::chrono::steady_clock::time_point> m_stopAsked;
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
    const auto beside = Absolute(JoinPath(exeDir, "rar", PosixPathRules));
    if (!beside.empty() && IsExecutableFile(beside))
        return beside;
    return FindOnPath("unrar");
}

std::unique_ptr<ArchiverProcess> ArchiverProcess::Start(const std::string& archiverPath,
                                                        const std::string& archivePath,
                                                        const std::string& workFolder) {
    // The archiver's chatter goes to a file in the work folder, not to the terminal.
    const posix::FileDescriptor log =
        NewArchiverLog(JoinPath(workFolder, ArchiverLogName, PosixPathRules));
    PosixSpawnActions actions;
    PosixSpawnAttributes attributes;
    int failed = SetDefaultSignals(attributes.Get());
    if (failed == 0)
        failed = ::posix_spawn_file_actions_addopen(actions.Get(), 0, "/dev/null", O_RDONLY, 0);
    if (failed == 0)
        failed = ::posix_spawn_file_actions_adddup2(actions.Get(), log.Get(), 1);
    if (failed == 0)
        failed = ::posix_spawn_file_actions_adddup2(actions.Get(), log.Get(), 2);
    // Nothing else of the installer reaches the archiver: not the database file, not the
    // client's lock files, not the work folder's lock, whether or not they were opened
    // close-on-exec.
    if (failed == 0)
        failed = ::posix_spawn_file_actions_addclosefrom_np(actions.Get(), 3);
    if (failed == 0)
        failed = ::posix_spawn_file_actions_addchdir_np(actions.Get(), workFolder.c_str());
    if (failed != 0)
        CannotStart(archiverPath, failed);

    std::vector<std::string> arguments{archiverPath, "x", "-o+", archivePath};
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    failed = ::posix_spawn(&pid, archiverPath.c_str(), actions.Get(), attributes.Get(), argv.data(),
                           environ);
    if (failed != 0)
        CannotStart(archiverPath, failed);
    return std::make_unique<PosixArchiverProcess>(pid);
}

} // namespace norvane::platform
