#pragma once

#include "ui/window.h"
#include "update/update_context.h"

#include <string>

namespace norvane::update {

struct UpdateFolderOutcome {
    int failedStatements = 0;
    int failedBlobs = 0;
};

/// Runs every up/*.sql of folder through ExecuteScript, then loads every up/*.blo.
UpdateFolderOutcome RunUpdateFolder(UpdateContext& context, const std::string& folder,
                                    ui::ProgressBar* bar, ui::Label* fileLabel,
                                    ui::Label* timeLabel);

} // namespace norvane::update
