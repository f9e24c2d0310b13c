#include "update/script_executor.h"

#include "base/exceptions.h"
#include "base/sha256.h"
#include "db/statement.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/paths.h"
#include "update/remaining_time.h"
#include "update/script_lines.h"
#include "update/statement_step.h"
#include "update/step_group.h"
#include "update/step_key.h"
#include "update/update_journal.h"
#include "update/update_log.h"

#include <optional>
#include <set>

namespace norvane::update {

namespace {

bool IsDataStatement(db::StatementType type) {
    switch (type) {
    case db::StatementType::Select:
    case db::StatementType::SelectForUpdate:
    case db::StatementType::Insert:
    case db::StatementType::Update:
    case db::StatementType::Delete:
        return true;
    case db::StatementType::Ddl:
    case db::StatementType::ExecProcedure:
    case db::StatementType::StartTransaction:
    case db::StatementType::Commit:
    case db::StatementType::Rollback:
    case db::StatementType::SetGenerator:
    case db::StatementType::Savepoint:
    case db::StatementType::Other:
        return false;
    }
    return false;
}

bool IsSelect(db::StatementType type) {
    return type == db::StatementType::Select || type == db::StatementType::SelectForUpdate;
}

// Executes a prepared statement and fetches its rows: a selectable procedure does its work as
// they are fetched.
void ExecuteAndFetch(db::Statement& statement) {
    statement.Execute();
    while (statement.Fetch()) {
    }
}

// A select runs the work of its procedure as its rows are fetched, past the statement's own
// savepoint: it gets one of its own, so that a failure halfway undoes all of it.
void ExecuteSelectUnderSavepoint(db::CGlobDB& globDB, db::Statement& statement) {
    db::Statement savepoint(globDB.GetDatabase(), db::Parameters::Raw);
    savepoint.SetSql("savepoint NORVANE$STEP");
    savepoint.Execute();
    try {
        ExecuteAndFetch(statement);
    } catch (const db::EFirebirdError& error) {
        if (!error.IsFatal()) {
            savepoint.SetSql("rollback to savepoint NORVANE$STEP");
            savepoint.Execute();
        }
        throw;
    }
    savepoint.SetSql("release savepoint NORVANE$STEP only");
    savepoint.Execute();
}

GroupStep StatementStep(UpdateContext& context, db::Statement& statement, StepKey key,
                        std::string text, const std::string& log) {
    GroupStep step;
    step.key = key;
    step.log = log;
    step.bytes = text.size();
    step.record = [text] { return text; };
    step.prepare = [&statement, text] {
        statement.SetSql(text);
        statement.Prepare();
        return IsDataStatement(statement.Type()) ? StepKind::Grouped : StepKind::Alone;
    };
    step.execute = [&context, &statement] {
        if (IsSelect(statement.Type()) && !context.Groups.OneByOne())
            ExecuteSelectUnderSavepoint(context.GlobDB, statement);
        else
            ExecuteAndFetch(statement);
    };
    step.replay = [&context, text] {
        db::Statement again(context.GlobDB.GetDatabase(), db::Parameters::Raw);
        again.SetSql(text);
        ExecuteAndFetch(again);
    };
    return step;
}

// What an interrupted run recorded of the script: said in the memo before it runs.
void SayWhatWasDone(UpdateContext& context, const std::string& name, const StepGroup& group,
                    ScriptRun& run) {
    const UpdateJournal::ItemRecords& records = group.Records();
    if (records.Empty())
        return;
    run.resumed = true;
    if (run.changed) {
        context.Window.AddStatus("скрипт " + name +
                                 " змінився після перерваного оновлення: виконані інструкції "
                                 "не виконуються вдруге, нові та змінені виконуються");
        return;
    }
    const std::size_t done = records.done.size() + records.doneOrdinals.size();
    context.Window.AddStatus("продовження перерваного оновлення: " + std::to_string(done) +
                             " інструкцій скрипту вже виконано");
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

    ScriptRun run;
    run.log = path + ".log";
    if (platform::FileExists(run.log))
        platform::DeleteFile(run.log);
    // A NUL byte is no text a script author writes: the file is damaged, and none of it runs.
    if (const std::optional<std::size_t> nulLine = script.NulLine()) {
        LogFailure(context, run.log, {}, NulByteMessage(*nulLine));
        run.failures = 1;
        return run;
    }

    const std::string name(FileNameOf(path));
    const std::string digest = Sha256Hex(script.Text());
    StepGroup group(context, name, digest);
    const UpdateJournal::ItemRecords& records = group.Records();
    if (context.Completing && records.Empty()) {
        run.passedOver = true;
        context.Window.AddStatus("скрипт " + name +
                                 " не виконувався до перерваного оновлення: його пропущено");
        return run;
    }
    // Statements an earlier version of the installer recorded by their place count only in
    // the script it recorded them for; in any other, which of them ran cannot be told.
    const bool byOrdinal = !records.doneOrdinals.empty();
    if (byOrdinal && records.ordinalsDigest != digest)
        throw EUpdateAborted(EUpdateAborted::Cause::CannotResume,
                             "скрипт " + name +
                                 " змінився після перерваного оновлення, що записало виконані "
                                 "інструкції за їхніми номерами: продовжити його неможливо");
    run.changed =
        !records.doneDigests.empty() && records.doneDigests != std::set<std::string>{digest};
    std::multiset<StepKey> done = records.done;
    SayWhatWasDone(context, name, group, run);

    StatementAssembler assembler;
    db::Statement statement(context.GlobDB.GetDatabase(), db::Parameters::Raw);
    ui::ProgressBar bar(context.Window);
    ui::Label timeLabel(context.Window, ui::Control::lUpdateTime);
    StepKeys keys;
    std::int32_t ordinal = 0;
    for (const std::string_view line : script.Lines()) {
        const AssemblyStep step = assembler.Feed(line);
        for (const std::string& completed : step.completed) {
            std::string text = SentText(completed);
            const StepKey key = keys.Next(text);
            ++ordinal;
            if (const auto found = done.find(key); found != done.end()) {
                done.erase(found);
                ++run.doneBefore;
                continue;
            }
            if (byOrdinal && records.doneOrdinals.contains(ordinal)) {
                ++run.doneBefore;
                continue;
            }
            ++run.ranNow;
            group.Run(StatementStep(context, statement, key, std::move(text), run.log));
        }
        bar.Advance();
        if (step.kind == LineKind::Ordinary) {
            const auto elapsed = std::chrono::steady_clock::now() - startTime;
            timeLabel.SetCaption(RemainingTimeText(bar.Max(), bar.Position(), elapsed));
        }
        context.Window.PumpMessages();
        // What is done is committed before the run stops.
        if (platform::InterruptRequested()) {
            group.Commit();
            platform::ThrowIfInterrupted();
        }
    }
    group.Commit();
    run.failures = group.Failures();

    // A last statement without its terminator is not run, but it must not vanish unseen.
    if (assembler.HasPendingStatement()) {
        LogFailure(context, run.log, SentText(assembler.Pending()), UnterminatedStatementMessage);
        ++run.failures;
    }
    if (run.changed)
        context.Window.AddStatus("скрипт " + name + ": уже виконаних інструкцій пропущено: " +
                                 std::to_string(run.doneBefore) +
                                 ", виконано нових або змінених: " + std::to_string(run.ranNow));
    return run;
}

} // namespace norvane::update
