#pragma once

#include "ui/window.h"

#include <string>

namespace norvane::package {

struct ProgramFilesOutcome {
    int entries = 0; // the files listed, copied or failed alike
    int failed = 0;
};

/// Copies <folder>/*.exe into programFolder and <folder>/Report/*.fr3 into its Report
/// folder, one memo line per file.
ProgramFilesOutcome InstallProgramFiles(ui::Window& window, const std::string& programFolder,
                                        const std::string& folder, ui::ProgressBar* bar,
                                        ui::Label* fileLabel, ui::Label* timeLabel);

} // namespace norvane::package
