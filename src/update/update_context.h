#pragma once

#include "db/glob_db.h"
#include "ui/window.h"

#include <cstdint>
#include <set>
#include <string>

namespace norvane::update {

class UpdateJournal;

/// What the update steps work with: the connection and the window.
struct UpdateContext {
    db::CGlobDB& GlobDB;
    ui::Window& Window;
    /// Logs a failure could not be written to; each is reported once and counts as a failure.
    std::set<std::string> UnwritableLogs{};
    /// Where the steps record what is done, and the package they belong to; without a
    /// journal every statement and blob file runs.
    UpdateJournal* Journal = nullptr;
    std::int32_t Package = 0;
    /// Where the logs of failing scripts are kept beyond the work folder's next clean-up, one
    /// folder a package inside it; empty keeps none.
    std::string KeptLogsFolder{};
};

} // namespace norvane::update
