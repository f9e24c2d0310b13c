#pragma once

#include "db/glob_db.h"
#include "ui/window.h"

#include <string>

namespace norvane::update {

/// What the update steps work with: the connection, the window, and the window's LogFile.
struct UpdateContext {
    db::CGlobDB& GlobDB;
    ui::Window& Window;
    std::string& LogFile;
};

} // namespace norvane::update
