#include "update/statement_step.h"

#include "base/exceptions.h"
#include "base/text.h"
#include "db/firebird_error.h"
#include "update/update_log.h"

namespace norvane::update {

namespace {

[[noreturn]] void Abort(db::Transaction& transaction, const db::EFirebirdError& error) {
    transaction.Abandon();
    throw EUpdateAborted(EUpdateAborted::Cause::DatabaseLost, OneLine(error.what()));
}

void RollBack(db::Transaction& transaction) {
    if (!transaction.Active())
        return;
    try {
        transaction.Rollback();
    } catch (const db::EFirebirdError& error) {
        if (error.IsFatal())
            Abort(transaction, error);
        throw;
    }
}

} // namespace

StepResult RunLoggedStep(UpdateContext& context, const std::string& logFile,
                         const std::function<void()>& body,
                         const std::function<std::string()>& record) {
    db::Transaction& transaction = context.GlobDB.Transaction();
    try {
        if (!transaction.Active())
            transaction.StartTransaction();
        body();
        if (transaction.Active())
            transaction.Commit();
        return StepResult::Done;
    } catch (const db::EFirebirdError& error) {
        if (error.IsLockWait()) {
            RollBack(transaction);
            throw;
        }
        LogFailure(context, logFile, record(), error.what());
        if (error.IsFatal())
            Abort(transaction, error);
        RollBack(transaction);
    } catch (const EStreamError& error) {
        LogFailure(context, logFile, record(), error.what());
        RollBack(transaction);
    } catch (const EStepFailed& error) {
        LogFailure(context, logFile, record(), error.what());
        RollBack(transaction);
    } catch (...) {
        // Anything else ends the update (a lost database, an interruption, a fault in the
        // program): it goes on up, and nothing of the step that did not end may stay pending
        // in the connection, where a later commit would take it.
        transaction.Abandon();
        throw;
    }
    return StepResult::Failed;
}

void LogFailure(UpdateContext& context, const std::string& logFile, std::string_view record,
                std::string_view message) {
    const bool written = WriteLog(logFile, LogEntry::PlainRecord, record) &&
                         WriteLog(logFile, LogEntry::ErrorBlock, message);
    if (!written)
        context.UnwritableLogs.insert(logFile);
}

} // namespace norvane::update
