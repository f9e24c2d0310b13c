#pragma once

#include "base/exceptions.h"
#include "update/update_context.h"

#include <functional>
#include <string>

namespace norvane::update {

enum class StepResult { Done, Failed };

/// A step that the update itself finds failed (a refused blob file name, a statement that
/// changed no row it had to): logged and rolled back like a client error.
class EStepFailed : public Exception {
public:
    using Exception::Exception;
};

/// One database step of an update in a transaction of its own: starts Transaction when it is
/// not active, runs body, and commits when it is still active.
///
/// A client or file error, or EStepFailed, is logged to logFile (record(), then the message
/// in an error block) and rolled back; the step has failed and the update goes on. An error
/// after which the database cannot be used (connection gone, not writable) is logged the same
/// way and then raised as EUpdateAborted: nothing more may run. A statement that gave up on
/// rows another transaction holds (IsLockWait) is rolled back and its error raised, unlogged,
/// for the caller to try it again. Any other error (EMisuse above all) is no failed
/// statement: the step's work is rolled back and the error raised.
StepResult RunLoggedStep(UpdateContext& context, const std::string& logFile,
                         const std::function<void()>& body,
                         const std::function<std::string()>& record);

/// Writes one failure to logFile: record as it is, then message in an error block. A log
/// that cannot be written is noted in context.UnwritableLogs.
void LogFailure(UpdateContext& context, const std::string& logFile, std::string_view record,
                std::string_view message);

} // namespace norvane::update
