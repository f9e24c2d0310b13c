#pragma once

#include "support/temp_folder.h"

#include <string>

namespace norvane::testing {

/// A real process running under a chosen executable file name (a copy of sleep), stopped
/// when the owner goes.
class RunningProgram {
public:
    /// The executable is named fileName; argv[0] is argv0 when given, else its full path.
    explicit RunningProgram(const std::string& fileName, const std::string& argv0 = {});
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

private:
    TempFolder m_folder;
    int m_pid = -1;
};

} // namespace norvane::testing
