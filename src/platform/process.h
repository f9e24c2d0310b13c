#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace norvane::platform {

/// Whether a running process has the executable file name given, ignoring ASCII case.
bool IsProcessRunning(std::string_view exeFileName);

/// The archiver the installer unpacks packages with, as an absolute path: beside the
/// installer, or (on POSIX) on PATH, a relative folder of PATH taken from the current folder
/// as a shell would. Empty when there is none.
std::string FindArchiver(const std::string& exeDir);

/// The file in the work folder the archiver's output goes to.
inline constexpr std::string_view ArchiverLogName = "archiver.log";

/// A started archiver: "x -o+ <archive>" in a working folder, hidden, input empty, its output
/// in a new ArchiverLogName of that folder (never a file a link there leads to).
class ArchiverProcess {
public:
    /// Starts the archiver. Raises EOSError naming the program and the system's reason when
    /// it cannot be started.
    static std::unique_ptr<ArchiverProcess> Start(const std::string& archiverPath,
                                                  const std::string& archivePath,
                                                  const std::string& workFolder);
    virtual ~ArchiverProcess() = default;

    /// Waits without a time limit, calling pump while it waits; returns the exit code. An
    /// interruption (InterruptRequested) ends the archiver, whose work is then of no use.
    virtual int Wait(const std::function<void()>& pump) = 0;
};

} // namespace norvane::platform
