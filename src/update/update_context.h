#pragma once

#include "db/glob_db.h"
#include "ui/window.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

namespace norvane::update {

class UpdateJournal;

/// When the statements and blob loads that share a transaction are committed: after so many
/// of them, once the first is so old, or once the texts kept for a replay hold so much,
/// whichever comes first.
struct GroupPolicy {
    std::size_t maxSteps = 1;
    std::chrono::milliseconds maxAge{0};
    std::size_t maxBytes = 0;

    /// Groups as large as the measurements behind them found worth it (README).
    static GroupPolicy Grouped() { return {1000, std::chrono::milliseconds(2000), 8 << 20}; }
    /// A transaction of its own for every statement and blob file, committed at once.
    static GroupPolicy OnePerStep() { return {}; }
    bool OneByOne() const { return maxSteps <= 1; }
};

/// How long a statement waits for rows other connections hold. The engine waits a slice at a
/// time; between slices the step is tried again (the failed try was undone), so that a
/// request to end the program is seen within a slice. A step that waited past the limit
/// stops the update.
struct LockWaitPolicy {
    std::chrono::seconds slice{1};
    /// Zero waits for as long as the rows are held.
    std::chrono::seconds limit{300};
};

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
    /// Whether the package's version came in an interrupted run, which this one completes:
    /// a script with nothing recorded is then not run.
    bool Completing = false;
    GroupPolicy Groups = GroupPolicy::Grouped();
    LockWaitPolicy LockWaits{};
    /// Where the logs of failing scripts are kept beyond the work folder's next clean-up, one
    /// folder a package inside it; empty keeps none.
    std::string KeptLogsFolder{};
};

} // namespace norvane::update
