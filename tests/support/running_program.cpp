#include "support/running_program.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace norvane::testing {

namespace {

std::string ArgvZeroOf(int pid) {
    std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string argv0;
    std::getline(cmdline, argv0, '\0');
    return argv0;
}

// The kernel switches /proc/<pid>/exe before it has laid out the new arguments, so both are
// waited for.
void WaitUntilExecuted(int pid, const std::filesystem::path& executable, const std::string& argv0) {
    const auto link = "/proc/" + std::to_string(pid) + "/exe";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::error_code error;
        if (std::filesystem::read_symlink(link, error) == executable && ArgvZeroOf(pid) == argv0)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    throw std::runtime_error("the stand-in program did not start");
}

} // namespace

RunningProgram::RunningProgram(const std::string& fileName, const std::string& argv0) {
    const auto executable = m_folder.Path() / fileName;
    std::filesystem::copy_file("/bin/sleep", executable);
    std::filesystem::permissions(executable, std::filesystem::perms::owner_all);
    std::string first = argv0.empty() ? executable.string() : argv0;
    std::string seconds = "120";
    std::vector<char*> argv{first.data(), seconds.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, executable.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + executable.string());
    m_pid = pid;
    WaitUntilExecuted(m_pid, executable, first);
}

RunningProgram::~RunningProgram() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

} // namespace norvane::testing
