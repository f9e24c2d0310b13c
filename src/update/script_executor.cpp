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
bool ExecuteStatement(UpdateContext& context, const std::string& log, db::Statement& statement,
                      std::string text, std::int32_t ordinal) {
    statement.SetSql(std::move(text));
    const StepResult result = RunLoggedStep(
        context, log,
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

ScriptRun ExecuteScript(UpdateContext& context, const std::string& path,
                        std::chrono::steady_clock::time_point startTime) {
    const ScriptLines script(path);
    if (script.Lines().empty() && !script.NulLine())
        return {};

    ScriptRun run{0, path + ".log"};
    if (platform::FileExists(run.log))
        platform::DeleteFile(run.log);
    // A NUL byte is no text a script author writes: the file is damaged, and none of it runs.
    if (const std::optional<std::size_t> nulLine = script.NulLine()) {
        LogFailure(context, run.log, {}, NulByteMessage(*nulLine));
        run.failures = 1;
        return run;
    }

    const std::set<std::int32_t> done = DoneStatements(context, path, script);
    StatementAssembler assembler;
    db::Statement statement(context.GlobDB.GetDatabase(), db::Parameters::Raw);
    ui::ProgressBar bar(context.Window);
    ui::Label timeLabel(context.Window, ui::Control::lUpdateTime);
    std::int32_t ordinal = 0;
    for (const std::string_view line : script.Lines()) {
        const AssemblyStep step = assembler.Feed(line);
        for (const std::string& completed : step.completed) {
            if (!done.contains(++ordinal) &&
                !ExecuteStatement(context, run.log, statement, SentText(completed), ordinal))
                ++run.failures;
        }
        bar.Advance();
        if (step.kind == LineKind::Ordinary) {
            const auto elapsed = std::chrono::steady_clock::now() - startTime;
            timeLabel.SetCaption(RemainingTimeText(bar.Max(), bar.Position(), elapsed));
        }
        context.Window.PumpMessages();
        platform::ThrowIfInterrupted();
    }

    // A last statement without its terminator is not run, but it must not vanish unseen.
    if (assembler.HasPendingStatement()) {
        LogFailure(context, run.log, SentText(assembler.Pending()), UnterminatedStatementMessage);
        ++run.failures;
    }
    return run;
}

} // namespace norvane::update
