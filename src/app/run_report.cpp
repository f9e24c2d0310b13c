#include "app/run_report.h"

namespace norvane::app {

ExitStatus ExitStatusFor(const RunReport& report) {
    using Verdict = RunReport::Verdict;
    switch (report.verdict) {
    case Verdict::NotChecked:
        return ExitStatus::Error;
    case Verdict::ProgramRunning:
        return ExitStatus::ProgramRunning;
    case Verdict::Busy:
        return ExitStatus::AnotherInstallerRunning;
    case Verdict::DatabaseOlder:
        return ExitStatus::DatabaseOlder;
    case Verdict::UpToDate:
        return ExitStatus::UpToDate;
    case Verdict::Allowed:
        break;
    }
    using Install = RunReport::Install;
    switch (report.install) {
    case Install::Busy:
        return ExitStatus::AnotherInstallerRunning;
    case Install::NotStarted:
    case Install::Failed:
    case Install::Interrupted:
        return ExitStatus::Error;
    case Install::Finished:
        break;
    }
    if (report.failedStatements > 0 || report.failedBlobs > 0 || report.failedCopies > 0 ||
        report.failedLogs > 0)
        return ExitStatus::UpdatedWithFailures;
    return ExitStatus::Updated;
}

std::string ExitStatusText(ExitStatus status) {
    switch (status) {
    case ExitStatus::Updated:
        return "оновлено";
    case ExitStatus::Error:
        return "помилка, базу даних не оновлено до останнього пакета";
    case ExitStatus::UpdatedWithFailures:
        return "оновлено, але з помилками";
    case ExitStatus::UpToDate:
        return "оновлення не потрібне";
    case ExitStatus::ProgramRunning:
        return "програма запущена";
    case ExitStatus::DatabaseOlder:
        return "версія бази даних менша за пакети оновлення";
    case ExitStatus::AnotherInstallerRunning:
        return "виконується інше оновлення";
    }
    return {};
}

} // namespace norvane::app
