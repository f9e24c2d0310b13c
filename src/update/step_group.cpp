#include "update/step_group.h"

#include "base/exceptions.h"
#include "base/text.h"
#include "db/firebird_error.h"
#include "platform/interrupt.h"

#include <algorithm>

namespace norvane::update {

namespace {

db::Transaction& GroupTransaction(UpdateContext& context) {
    return context.GlobDB.Transaction();
}

// Each statement sees what other connections committed before it, as it would in a transaction
// of its own, and waits for a row another holds a slice at a time.
void UseWaitingMode(UpdateContext& context) {
    db::Transaction& transaction = GroupTransaction(context);
    transaction.SetMode(db::TransactionMode::ReadCommittedWait);
    transaction.SetLockTimeout(context.LockWaits.slice);
}

constexpr std::string_view WaitingText = "очікування: рядок заблоковано іншим з'єднанням…";

std::string WaitedTooLongText(std::chrono::seconds limit) {
    return "рядок заблоковано іншим з'єднанням понад " + std::to_string(limit.count()) +
           " с: інструкцію не виконано, оновлення зупинено; наступний запуск виконає її";
}

} // namespace

struct StepGroup::LockWait {
    std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
    bool said = false;
};

StepGroup::StepGroup(UpdateContext& context, std::string item, std::string itemDigest)
    : m_context(context), m_item(std::move(item)), m_itemDigest(std::move(itemDigest)) {
    if (m_context.Journal != nullptr)
        m_records = m_context.Journal->Records(m_context.Package, m_item);
}

StepGroup::~StepGroup() {
    if (!m_pending.empty())
        GroupTransaction(m_context).Abandon();
}

void StepGroup::StartIfNeeded() {
    db::Transaction& transaction = GroupTransaction(m_context);
    UseWaitingMode(m_context);
    if (transaction.Active()) {
        if (!m_pending.empty() || transaction.StartedInCurrentMode())
            return;
        // Begun for other work (attaching starts one): in it a held row would be waited for
        // without end, and each statement would not see what others committed since.
        transaction.Commit();
    }
    transaction.StartTransaction();
}

StepResult StepGroup::Run(GroupStep step) {
    db::Transaction& transaction = GroupTransaction(m_context);
    std::optional<StepKind> kind;
    const auto fail = [&](std::string_view message, bool fatal) {
        LogFailure(m_context, step.log, step.record(), message);
        NoteFailure(step.log);
        if (fatal) {
            transaction.Abandon();
            m_pending.clear();
            throw EUpdateAborted(EUpdateAborted::Cause::DatabaseLost, OneLine(message));
        }
        return StepResult::Failed;
    };
    // A failing statement's work is undone by the statement's own savepoint: the transaction
    // and the steps before it in the group stay as they were.
    LockWait wait;
    for (bool done = false; !done;) {
        try {
            StartIfNeeded();
            kind = step.prepare();
            if (*kind == StepKind::Grouped && !m_context.Groups.OneByOne())
                step.execute();
            done = true;
        } catch (const db::EFirebirdError& error) {
            if (!error.IsLockWait())
                return fail(error.what(), error.IsFatal());
            WaitForLockedRows(step, error, wait);
        } catch (const EStreamError& error) {
            return fail(error.what(), false);
        } catch (const EStepFailed& error) {
            return fail(error.what(), false);
        } catch (...) {
            transaction.Abandon();
            m_pending.clear();
            throw;
        }
    }

    if (*kind == StepKind::Alone || m_context.Groups.OneByOne()) {
        // A statement that runs alone sees every earlier one committed. A transaction that
        // holds nothing yet is its own already: it was started to prepare it.
        if (!m_pending.empty()) {
            Commit();
            // The group was the work in progress when the run was asked to stop.
            platform::ThrowIfInterrupted();
        }
        return RunAlone(step, step.execute);
    }

    if (m_pending.empty())
        m_groupStart = std::chrono::steady_clock::now();
    m_pendingBytes += step.bytes;
    m_pending.push_back(std::move(step));
    if (Full())
        Commit();
    return StepResult::Done;
}

bool StepGroup::Full() const {
    const GroupPolicy& policy = m_context.Groups;
    return m_pending.size() >= policy.maxSteps || m_pendingBytes >= policy.maxBytes ||
           std::chrono::steady_clock::now() - m_groupStart >= policy.maxAge;
}

StepResult StepGroup::RunAlone(const GroupStep& step, const std::function<void()>& body) {
    db::Transaction& transaction = GroupTransaction(m_context);
    UseWaitingMode(m_context);
    LockWait wait;
    // A try that gave up on a held row was rolled back: the next prepares the step anew.
    const std::function<void()>* work = &body;
    for (;;) {
        try {
            const StepResult result = RunLoggedStep(
                m_context, step.log,
                [&] {
                    // Recorded before the step's own work, so that a COMMIT of the script's
                    // commits both.
                    if (m_context.Journal != nullptr)
                        m_context.Journal->Record(transaction, m_context.Package, m_item,
                                                  m_itemDigest, std::span(&step.key, 1));
                    (*work)();
                },
                step.record);
            if (result == StepResult::Failed)
                NoteFailure(step.log);
            return result;
        } catch (const db::EFirebirdError& error) {
            if (!error.IsLockWait())
                throw;
            WaitForLockedRows(step, error, wait);
            work = &step.replay;
        }
    }
}

void StepGroup::WaitForLockedRows(const GroupStep& step, const db::EFirebirdError& error,
                                  LockWait& wait) {
    if (!wait.said) {
        m_context.Window.AddStatus(WaitingText);
        wait.said = true;
    }
    m_context.Window.PumpMessages();
    if (platform::InterruptRequested()) {
        Commit();
        platform::ThrowIfInterrupted();
    }
    const std::chrono::seconds limit = m_context.LockWaits.limit;
    if (limit.count() > 0 && std::chrono::steady_clock::now() - wait.since >= limit) {
        // The statement that did not run is named in its script's log.
        LogFailure(m_context, step.log, step.record(), error.what());
        Commit();
        throw EUpdateAborted(EUpdateAborted::Cause::RowsLocked, WaitedTooLongText(limit));
    }
}

void StepGroup::Commit() {
    db::Transaction& transaction = GroupTransaction(m_context);
    std::vector<GroupStep> steps = std::move(m_pending);
    m_pending.clear();
    m_pendingBytes = 0;
    if (!transaction.Active())
        return;
    std::vector<StepKey> keys;
    keys.reserve(steps.size());
    for (const GroupStep& step : steps)
        keys.push_back(step.key);
    try {
        if (m_context.Journal != nullptr && !keys.empty())
            m_context.Journal->Record(transaction, m_context.Package, m_item, m_itemDigest, keys);
        transaction.Commit();
        return;
    } catch (const db::EFirebirdError& error) {
        transaction.Abandon();
        if (error.IsFatal())
            throw EUpdateAborted(EUpdateAborted::Cause::DatabaseLost, OneLine(error.what()));
    } catch (...) {
        transaction.Abandon();
        throw;
    }
    ReplayOneByOne(std::move(steps));
}

void StepGroup::NoteFailure(const std::string& log) {
    ++m_failures;
    if (std::find(m_failureLogs.begin(), m_failureLogs.end(), log) == m_failureLogs.end())
        m_failureLogs.push_back(log);
}

void StepGroup::ReplayOneByOne(std::vector<GroupStep> steps) {
    for (const GroupStep& step : steps)
        RunAlone(step, step.replay);
}

} // namespace norvane::update
