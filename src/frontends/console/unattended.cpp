#include "frontends/console/unattended.h"

#include "frontends/console/console_window.h"
#include "platform/interrupt.h"

#include <exception>
#include <memory>

namespace norvane::console {

bool IsUnattended(const std::vector<std::string_view>& arguments) {
    return arguments.size() == 1 &&
           (arguments[0] == "--unattended" || arguments[0] == "/unattended");
}

ExitStatus ExitStatusFor(const app::RunReport& report) {
    using Verdict = app::RunReport::Verdict;
    switch (report.verdict) {
    case Verdict::NotChecked:
        return ExitStatus::Error;
    case Verdict::ProgramRunning:
        return ExitStatus::ProgramRunning;
    case Verdict::DatabaseOlder:
        return ExitStatus::DatabaseOlder;
    case Verdict::UpToDate:
        return ExitStatus::UpToDate;
    case Verdict::Allowed:
        break;
    }
    using Install = app::RunReport::Install;
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

ExitStatus RunUnattended(app::ProcessValues& values, const app::StartupPaths& paths,
                         std::ostream& out, std::ostream& err) {
    // An output read by "| head" may close early; the update goes on all the same.
    platform::IgnoreBrokenPipes();
    ConsoleWindow window(out, err);
    // The error display of the window program, turned into a status an administrator's
    // script can test.
    try {
        app::TForm1 form(window, values, paths);
        form.FormShow();
        if (form.Report().verdict == app::RunReport::Verdict::Allowed)
            form.btOKClick();
        window.Finish();
        return ExitStatusFor(form.Report());
    } catch (const std::exception& error) {
        window.ShowError(error.what());
    } catch (...) {
        window.ShowError("");
    }
    window.Finish();
    return ExitStatus::Error;
}

} // namespace norvane::console
