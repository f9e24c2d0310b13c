#pragma once

#include "update/script_executor.h"
#include "update/update_context.h"

#include <string>
#include <string_view>
#include <vector>

namespace norvane::update {

/// How one script of a package went, and where the log of its failures is kept.
struct ScriptOutcome {
    std::string name;
    ScriptRun run;
    std::string log;
};

struct UpdateFolderOutcome {
    int failedStatements = 0;
    int failedBlobs = 0;
    int failedLogs = 0; // logs a failure could not be written to or kept
    std::vector<ScriptOutcome> scripts;
    std::vector<std::string> blobLogs;
    /// The log of the last script that had lines, where blob failures go.
    std::string lastScriptLog;
};

/// Runs every up/*.sql of folder through ExecuteScript, then loads every up/*.blo, showing
/// progress in the window's bar, lFile and lUpdateTime. Blob failures go to the log of the
/// package's last script with lines, else to lastScriptLog (an earlier package's), else
/// beside the blob file. Raises EUpdateAborted when the database is lost or the run is
/// interrupted.
UpdateFolderOutcome RunUpdateFolder(UpdateContext& context, const std::string& folder,
                                    std::string lastScriptLog = {});

/// The name a handled file is moved to: path without its last three characters, then
/// doneExtension ("~sql", "~blo"), so 255.01.sql becomes 255.01.~sql.
std::string DoneName(const std::string& path, std::string_view doneExtension);

/// Moves path to its done name, replacing a file left there by an earlier run. Failures
/// are ignored: the file then stays where it is.
void MoveToDoneName(const std::string& path, std::string_view doneExtension);

} // namespace norvane::update
