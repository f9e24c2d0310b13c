#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace norvane::testing {

namespace {

std::string NameOf(const std::string& variable) {
    return variable.substr(0, variable.find('='));
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& own) {
    std::vector<std::string> merged;
    for (const std::string& variable : own) {
        if (variable.back() != '=' || variable.find('=') + 1 != variable.size())
            merged.push_back(variable);
    }
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string inherited = *entry;
        bool replaced = false;
        for (const std::string& variable : own)
            replaced = replaced || NameOf(variable) == NameOf(inherited);
        if (!replaced)
            merged.push_back(inherited);
    }
    return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::vector<std::string>& environment, Output output) {
    std::vector<std::string> arguments = argv;
    std::vector<std::string> variables = MergedEnvironment(environment);
    auto argvPointers = Pointers(arguments);
    auto environmentPointers = Pointers(variables);
    const std::string out = m_files / "stdout";
    const std::string err = m_files / "stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    int pipeEnds[2] = {-1, -1};
    if (output == Output::ClosedPipe && ::pipe2(pipeEnds, O_CLOEXEC) == 0)
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    // A new process group, so that a signal to the test runner never reaches it by accident.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    const int started = ::posix_spawn(&m_pid, argvPointers[0], &actions, &attributes,
                                      argvPointers.data(), environmentPointers.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    // Nobody will read: the child's writes fail with a broken pipe from the first one on.
    for (const int end : pipeEnds) {
        if (end >= 0)
            ::close(end);
    }
    if (started != 0)
        throw std::runtime_error("cannot start " + argv[0]);
}

ChildProcess::~ChildProcess() {
    if (m_status < 0 && !Ended()) {
        ::kill(m_pid, SIGKILL);
        Wait();
    }
}

void ChildProcess::Signal(int signal) const {
    ::kill(m_pid, signal);
}

int ChildProcess::Wait() {
    if (m_status >= 0)
        return m_status;
    int wait = 0;
    while (::waitpid(m_pid, &wait, 0) < 0) {
    }
    m_status = WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + WTERMSIG(wait);
    return m_status;
}

bool ChildProcess::Ended() {
    if (m_status >= 0)
        return true;
    int wait = 0;
    if (::waitpid(m_pid, &wait, WNOHANG) != m_pid)
        return false;
    m_status = WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + WTERMSIG(wait);
    return true;
}

bool ChildProcess::EndsWithin(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!Ended()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string ChildProcess::Out() const {
    return ReadFile(m_files.Path() / "stdout");
}

std::string ChildProcess::Err() const {
    return ReadFile(m_files.Path() / "stderr");
}

bool ChildProcess::WaitForOutput(const std::string& text) {
    for (;;) {
        if (Out().find(text) != std::string::npos)
            return true;
        if (Ended())
            return Out().find(text) != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

CommandResult RunCommand(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment) {
    ChildProcess child(argv, environment);
    CommandResult result;
    result.status = child.Wait();
    result.output = child.Out() + child.Err();
    return result;
}

} // namespace norvane::testing
