#pragma once

#include "update/statement_step.h"
#include "update/step_key.h"
#include "update/update_context.h"
#include "update/update_journal.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace norvane::db {
class EFirebirdError;
}

namespace norvane::update {

/// Whether a step may share its transaction with the steps around it.
enum class StepKind {
    /// A plain data statement (select, insert, update, delete, merge): it joins the group.
    Grouped,
    /// Anything else (DDL, transaction control, procedures, what is not recognised): it ends
    /// the group and runs in a transaction of its own.
    Alone,
};

/// One statement or blob load of an item.
struct GroupStep {
    StepKey key;
    /// The log its failure goes to, and the text logged with the failure's message.
    std::string log;
    std::function<std::string()> record;
    /// Prepares the step in the transaction it is to run in, and says how it runs.
    std::function<StepKind()> prepare;
    /// Runs what prepare prepared.
    std::function<void()> execute;
    /// Prepares and runs the step anew, with nothing of it kept from before: a group whose
    /// commit failed is run again one step a transaction.
    std::function<void()> replay;
    /// The memory replay holds while the step waits for its group's commit.
    std::size_t bytes = 0;
};

/// The steps of one item (a script, the blob files of a package), run in groups that share a
/// transaction: a group is committed with one journal record of all its steps, so that a
/// step's work and its record become durable together. A failing step is undone by the
/// statement's own savepoint and logged, and the group goes on, so that the outcome equals a
/// transaction for each step; only the moment the work becomes durable differs.
///
/// A group is committed when it is full (GroupPolicy), before a step that runs alone, and by
/// Commit (the end of a script, an interruption). A commit that fails is rolled back and its
/// steps run again one transaction each, so the failure lands on the step that causes it. An
/// error after which the database cannot be used loses the group, whose steps the next run
/// does again, and raises EUpdateAborted.
///
/// A step that gives up on rows another connection holds (its transaction waits a slice of
/// LockWaitPolicy at a time) was undone by its savepoint or its rollback, and is tried again:
/// the memo says once that it waits. A request to end the program, or a wait past the limit,
/// commits the group so far and raises EUpdateAborted; the step is left to the next run.
class StepGroup {
public:
    /// The records of item in the journal are read here (none without a journal).
    StepGroup(UpdateContext& context, std::string item, std::string itemDigest);
    /// Rolls back a group left uncommitted (an error went through); never throws.
    ~StepGroup();
    StepGroup(const StepGroup&) = delete;
    StepGroup& operator=(const StepGroup&) = delete;

    /// What an earlier, interrupted run recorded of the item.
    const UpdateJournal::ItemRecords& Records() const { return m_records; }

    StepResult Run(GroupStep step);
    /// Commits the steps run since the last commit, with their record.
    void Commit();

    /// The steps that failed, also those of a replayed group, and the logs they went to in
    /// the order of their first failure.
    int Failures() const { return m_failures; }
    const std::vector<std::string>& FailureLogs() const { return m_failureLogs; }

private:
    struct LockWait;

    void StartIfNeeded();
    void WaitForLockedRows(const GroupStep& step, const db::EFirebirdError& error, LockWait& wait);
    void NoteFailure(const std::string& log);
    StepResult RunAlone(const GroupStep& step, const std::function<void()>& body);
    void ReplayOneByOne(std::vector<GroupStep> steps);
    bool Full() const;

    UpdateContext& m_context;
    std::string m_item;
    std::string m_itemDigest;
    UpdateJournal::ItemRecords m_records;
    std::vector<GroupStep> m_pending;
    std::size_t m_pendingBytes = 0;
    std::chrono::steady_clock::time_point m_groupStart{};
    int m_failures = 0;
    std::vector<std::string> m_failureLogs;
};

} // namespace norvane::update
