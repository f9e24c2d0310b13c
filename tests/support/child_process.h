#pragma once

#include "support/temp_folder.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace norvane::testing {

/// A real program started by a test, its standard output and error kept in files. Killed and
/// reaped when the owner goes, if it still runs.
class ChildProcess {
public:
    /// Where standard output goes: a file, or a pipe nobody reads (closed at once, as
    /// "| head" leaves it).
    enum class Output { File, ClosedPipe };

    /// Starts argv[0] with argv; environment entries given here ("NAME=value") replace those
    /// of the test's own environment, and NAME= alone removes one. Input is /dev/null.
    ChildProcess(const std::vector<std::string>& argv,
                 const std::vector<std::string>& environment = {}, Output output = Output::File);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    void Signal(int signal) const;

    /// Waits for the end; the exit status, or 128 + the signal that ended it.
    int Wait();
    /// Whether it has ended, without waiting.
    bool Ended();
    /// Whether it ends within limit, waiting until it does or the limit has passed.
    bool EndsWithin(std::chrono::milliseconds limit);

    std::string Out() const;
    std::string Err() const;
    /// Waits until the standard output holds text (or the program ended); true when it does.
    bool WaitForOutput(const std::string& text);

private:
    TempFolder m_files;
    pid_t m_pid = -1;
    int m_status = -1;
};

/// Runs a program to its end; its exit status, and what it wrote to both outputs.
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult RunCommand(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment = {});

} // namespace norvane::testing
