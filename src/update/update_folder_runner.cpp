#include "update/update_folder_runner.h"

#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/paths.h"
#include "update/blob_loader.h"
#include "update/script_executor.h"
#include "update/script_lines.h"
#include "update/update_journal.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <vector>

namespace norvane::update {

namespace {

std::vector<std::string> PhaseList(const std::string& folder, std::string_view mask) {
    std::vector<std::string> list;
    platform::CollectFiles(list, JoinPath(folder, "up"), mask);
    return list;
}

} // namespace

std::string DoneName(const std::string& path, std::string_view doneExtension) {
    const std::size_t keep = path.size() >= 3 ? path.size() - 3 : 0;
    return path.substr(0, keep) + std::string(doneExtension);
}

void MoveToDoneName(const std::string& path, std::string_view doneExtension) {
    const std::string done = DoneName(path, doneExtension);
    if (platform::FileExists(done))
        platform::DeleteFile(done);
    platform::MoveFile(path, done);
}

namespace {

// Says once for each log that a failure could not be written to; each counts as a failure.
void ReportUnwritableLogs(UpdateContext& context, std::set<std::string>& reported,
                          UpdateFolderOutcome& outcome) {
    for (const std::string& log : context.UnwritableLogs) {
        if (!reported.insert(log).second)
            continue;
        context.Window.AddError(ui::ErrorText("не вдалося записати журнал помилок " + log));
        ++outcome.failedLogs;
    }
}

// A copy of a log beyond the work folder, which the next package's clean-up empties: in
// the package's own folder under KeptLogsFolder. The path to show for the log: the copy, or
// the log itself when none is kept or the copy failed (said in the memo, a failure).
std::string KeepLog(UpdateContext& context, const std::string& log, UpdateFolderOutcome& outcome) {
    if (context.KeptLogsFolder.empty() || context.UnwritableLogs.contains(log))
        return log;
    const std::string folder = JoinPath(context.KeptLogsFolder, std::to_string(context.Package));
    for (const std::string& level : {context.KeptLogsFolder, folder}) {
        if (!platform::FolderExists(level))
            platform::CreateFolder(level);
    }
    // A copy an interrupted run cut off left its temporary file here.
    platform::RemoveUnfinishedCopies(folder);
    const std::string kept = JoinPath(folder, FileNameOf(log));
    if (const auto error = platform::CopyFileReplacing(log, kept)) {
        context.Window.AddError(ui::ErrorText("не вдалося зберегти журнал " + log + " у " + kept +
                                              ": " + error->message));
        ++outcome.failedLogs;
        return log;
    }
    return kept;
}

void RunScriptPhase(UpdateContext& context, const std::string& folder, UpdateFolderOutcome& outcome,
                    std::set<std::string>& reportedLogs) {
    ui::Window& window = context.Window;
    ui::ProgressBar bar(window);
    ui::Label fileLabel(window, ui::Control::lFile);
    ui::Label timeLabel(window, ui::Control::lUpdateTime);
    const std::vector<std::string> scripts = PhaseList(folder, "*.sql");
    bar.SetPosition(0);
    std::size_t totalLines = 0;
    for (const std::string& script : scripts)
        totalLines += CountScriptLines(script);
    bar.SetMax(static_cast<int>(totalLines));
    const auto startTime = std::chrono::steady_clock::now();
    timeLabel.SetVisible(true);
    for (std::size_t i = 0; i < scripts.size(); ++i) {
        const std::string& script = scripts[i];
        window.AddStatus(FileNameOf(script));
        fileLabel.SetFileCaption(FileNameOf(script), i + 1, scripts.size());
        const ScriptRun run = ExecuteScript(context, script, startTime);
        if (!run.log.empty())
            outcome.lastScriptLog = run.log;
        ScriptOutcome& result = outcome.scripts.emplace_back();
        result.name = FileNameOf(script);
        result.run = run;
        if (run.failures > 0) {
            result.log = KeepLog(context, run.log, outcome);
            window.AddError(ui::ErrorText("помилок у скрипті: " + std::to_string(run.failures) +
                                          ", журнал: " + result.log));
            outcome.failedStatements += run.failures;
        }
        ReportUnwritableLogs(context, reportedLogs, outcome);
        MoveToDoneName(script, "~sql");
        bar.Advance();
        window.PumpMessages();
    }
    timeLabel.SetVisible(false);
}

void RunBlobPhase(UpdateContext& context, const std::string& folder, UpdateFolderOutcome& outcome,
                  std::set<std::string>& reportedLogs) {
    ui::Window& window = context.Window;
    // A phase an interrupted run finished, failures and all, is not run again.
    if (context.Journal != nullptr && context.Journal->BlobPhaseDone(context.Package))
        return;
    ui::ProgressBar bar(window);
    ui::Label fileLabel(window, ui::Control::lFile);
    const std::vector<std::string> blobs = PhaseList(folder, "*.blo");
    BlobLoader loader(context);
    for (std::size_t j = 0; j < blobs.size(); ++j) {
        const std::string& blob = blobs[j];
        fileLabel.SetFileCaption(FileNameOf(blob), j + 1, blobs.size());
        loader.LoadBlobFile(blob, BlobLogPath(outcome.lastScriptLog, blob));
        MoveToDoneName(blob, "~blo");
        bar.Advance();
        window.PumpMessages();
        // What is loaded is committed before the run stops.
        if (platform::InterruptRequested()) {
            loader.Commit();
            platform::ThrowIfInterrupted();
        }
    }
    loader.Commit();
    outcome.failedBlobs = loader.Failures();
    if (outcome.failedBlobs > 0) {
        std::string logs;
        for (const std::string& log : loader.FailureLogs()) {
            outcome.blobLogs.push_back(KeepLog(context, log, outcome));
            logs += (logs.empty() ? "" : ", ") + outcome.blobLogs.back();
        }
        window.AddError(ui::ErrorText(
            "помилок завантаження: " + std::to_string(outcome.failedBlobs) + ", журнал: " + logs));
    }
    ReportUnwritableLogs(context, reportedLogs, outcome);
    if (context.Journal != nullptr)
        context.Journal->MarkBlobPhaseDone(context.Package);
}

} // namespace

UpdateFolderOutcome RunUpdateFolder(UpdateContext& context, const std::string& folder,
                                    std::string lastScriptLog) {
    UpdateFolderOutcome outcome;
    outcome.lastScriptLog = std::move(lastScriptLog);
    std::set<std::string> reportedLogs;
    RunScriptPhase(context, folder, outcome, reportedLogs);
    RunBlobPhase(context, folder, outcome, reportedLogs);
    return outcome;
}

} // namespace norvane::update
