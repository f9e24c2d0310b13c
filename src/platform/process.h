#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace norvane::platform {

/// Whether a running process has the executable file name given, ignoring ASCII case.
bool IsProcessRunning(std::string_view exeFileName);

/// The archiver the installer unpacks packages with: beside the installer, or (on POSIX) on
/// PATH. Empty when there is none.
std::string FindArchiver(const std::string& exeDir);

/// A started archiver: "x -o+ <archive>" in a working folder, hidden, input empty.
class ArchiverProcess {
public:
    /// Starts the archiver; nothing when it cannot be started.
    static std::unique_ptr<ArchiverProcess> Start(const std::string& archiverPath,
                                                  const std::string& archivePath,
                                                  const std::string& workFolder);
    virtual ~ArchiverProcess() = default;

    /// Waits without a time limit, calling pump while it waits; returns the exit code.
    virtual int Wait(const std::function<void()>& pump) = 0;
};

} // namespace norvane::platform
