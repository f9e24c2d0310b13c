#pragma once

#include "db/glob_db.h"
#include "ui/window.h"

#include <set>
#include <string>

namespace norvane::update {

/// What the update steps work with: the connection, the window, and the window's LogFile.
struct UpdateContext {
    db::CGlobDB& GlobDB;
    ui::Window& Window;
    std::string& LogFile;
    /// Logs a failure could not be written to; each is reported once and counts as a failure.
    std::set<std::string> UnwritableLogs{};
};

} // namespace norvane::update
