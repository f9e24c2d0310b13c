#pragma once

#include "package/packages.h"
#include "ui/window.h"

#include <optional>
#include <string>
#include <vector>

namespace norvane::package {

struct ProgramFilesOutcome {
    int entries = 0; // the files listed, copied or failed alike
    int failed = 0;
    std::vector<std::string> copied; // destinations, in copy order
};

/// One file of a package to copy into the program folder.
struct ProgramFile {
    std::string source;
    std::string destination;
};

/// The files InstallProgramFiles copies from folder, in copy order, with their destinations:
/// <folder>/*.exe into programFolder, <folder>/Report/*.fr3 into its Report folder.
std::vector<ProgramFile> ListProgramFiles(const std::string& programFolder,
                                          const std::string& folder);

/// The files of programFolder that package would put there and that differ from it: missing,
/// of another size, or of other bytes. A stored member is compared byte for byte with the
/// archive; a compressed one by the CRC-32 its header gives, which is what the unpacked
/// package itself is checked against. Nothing is unpacked.
std::vector<std::string> ProgramFilesDiffering(const CheckedPackage& package,
                                               const std::string& programFolder);

/// Makes the destination folders that are missing (a product installed without its Report
/// folder), so that templates have somewhere to go.
void CreateDestinationFolders(const std::vector<ProgramFile>& files);

/// What would make a copy fail, found before anything is changed: a destination folder that
/// takes no new file (read-only, no access; one that is missing, by the folder it would be
/// made in) or a destination that cannot be replaced
/// (held open, read-only, a folder). A memo text naming the first, or nothing.
std::optional<std::string> ProgramFilesProblem(const std::vector<ProgramFile>& files);

/// Copies the files (ListProgramFiles) to their destinations, one memo line per file, showing
/// progress in the window's bar, lFile and lUpdateTime. Raises EUpdateAborted when the run is
/// interrupted, after the file in progress.
ProgramFilesOutcome InstallProgramFiles(ui::Window& window, const std::vector<ProgramFile>& files);

} // namespace norvane::package
