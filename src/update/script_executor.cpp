#include "update/script_executor.h"

#include "db/statement.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "update/remaining_time.h"
#include "update/script_lines.h"
#include "update/statement_step.h"
#include "update/update_log.h"

namespace norvane::update {

namespace {

// Runs one statement in a transaction of its own; false when it failed and was logged.
bool ExecuteStatement(UpdateContext& context, db::Statement& statement, std::string text) {
    statement.SetSql(std::move(text));
    const StepResult result = RunLoggedStep(
        context, context.LogFile,
        [&] {
            statement.Prepare();
            statement.Execute();
            // A selectable procedure does its work as its rows are fetched.
            while (statement.Fetch()) {
            }
        },
        [&] { return statement.Sql(); });
    return result == StepResult::Done;
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

    StatementAssembler assembler;
    db::Statement statement(context.GlobDB.GetDatabase(), db::Parameters::Raw);
    int failures = 0;
    for (const std::string_view line : script.Lines()) {
        AssemblyStep step = assembler.Feed(line);
        if (step.completed && !ExecuteStatement(context, statement, SentText(*step.completed)))
            ++failures;
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
