#include "update/script_executor.h"

#include "base/sha256.h"
#include "db/statement.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/paths.h"
#include "update/remaining_time.h"
#include "update/script_lines.h"
#include "update/statement_step.h"
#include "update/update_journal.h"
#include "update/update_log.h"

#include <set>

namespace norvane::update {

namespace {

// Runs one statement in a transaction of its own, recorded as done with it when a journal
// is kept; false when it failed and was logged.
bool ExecuteStatement(UpdateContext& context, db::Statement& statement, std::string text,
                      std::int32_t ordinal) {
    statement.SetSql(std::move(text));
    const StepResult result = RunLoggedStep(
        context, context.LogFile,
        [&] {
            if (context.Journal != nullptr)
                context.Journal->RecordStep(ordinal);
            statement.Prepare();
            statement.Execute();
            // A selectable procedure does its work as its rows are fetched.
            while (statement.Fetch()) {
            }
        },
        [&] { return statement.Sql(); });
    return result == StepResult::Done;
}

// What the journal holds of this script: the statements done by an earlier, interrupted run.
std::set<std::int32_t> DoneStatements(UpdateContext& context, const std::string& path,
                                      const ScriptLines& script) {
    if (context.Journal == nullptr)
        return {};
    const std::string name(FileNameOf(path));
    UpdateJournal::Progress progress =
        context.Journal->BeginItem(context.Package, name, Sha256Hex(script.Text()));
    if (progress.changed)
        context.Window.AddStatus("скрипт " + name +
                                 " змінився після перерваного оновлення: виконується повністю");
    else if (!progress.done.empty())
        context.Window.AddStatus(
            "продовження перерваного оновлення: " + std::to_string(progress.done.size()) +
            " інструкцій скрипту вже виконано");
    return std::move(progress.done);
}

} // namespace

std::string NulByteMessage(std::size_t line) {
    return "NUL byte at line " + std::to_string(line) + ": script not run";
}

int ExecuteScript(UpdateContext& context, const std::string& path, ui::ProgressBar* bar,
                  std::chrono::steady_clock::time_point startTime, ui::Label* timeLabel) {
    const ScriptLines script(path);
    if (script.Lines().empty() && !script.NulLine())
        return 0;

    context.LogFile = path + ".log";
    if (platform::FileExists(context.LogFile))
        platform::DeleteFile(context.LogFile);
    // A NUL byte is no text a script author writes: the file is damaged, and none of it runs.
    if (const std::optional<std::size_t> nulLine = script.NulLine()) {
        LogFailure(context, context.LogFile, {}, NulByteMessage(*nulLine));
        return 1;
    }

    const std::set<std::int32_t> done = DoneStatements(context, path, script);
    StatementAssembler assembler;
    db::Statement statement(context.GlobDB.GetDatabase(), db::Parameters::Raw);
    int failures = 0;
    std::int32_t ordinal = 0;
    for (const std::string_view line : script.Lines()) {
        const AssemblyStep step = assembler.Feed(line);
        for (const std::string& completed : step.completed) {
            if (!done.contains(++ordinal) &&
                !ExecuteStatement(context, statement, SentText(completed), ordinal))
                ++failures;
        }
        if (bar != nullptr) {
            bar->Advance();
            if (step.kind == LineKind::Ordinary && timeLabel != nullptr) {
                const auto elapsed = std::chrono::steady_clock::now() - startTime;
                timeLabel->SetCaption(RemainingTimeText(bar->Max(), bar->Position(), elapsed));
            }
        }
        context.Window.PumpMessages();
        platform::ThrowIfInterrupted();
    }

    // A last statement without its terminator is not run, but it must not vanish unseen.
    if (assembler.HasPendingStatement()) {
        LogFailure(context, context.LogFile, SentText(assembler.Pending()),
                   UnterminatedStatementMessage);
        ++failures;
    }
    return failures;
}

} // namespace norvane::update
