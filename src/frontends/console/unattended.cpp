#include "frontends/console/unattended.h"

#include "frontends/console/console_window.h"
#include "platform/interrupt.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>

namespace norvane::console {

namespace {

bool IsSwitch(std::string_view argument, std::string_view name) {
    return argument == "--" + std::string(name) || argument == "/" + std::string(name);
}

// "--log=FILE" or "/log=FILE": the file, or nothing.
std::optional<std::string_view> LogWithFile(std::string_view argument) {
    for (std::string_view prefix : {"--log=", "/log="}) {
        if (argument.starts_with(prefix) && argument.size() > prefix.size())
            return argument.substr(prefix.size());
    }
    return std::nullopt;
}

std::ofstream OpenLog(const std::string& path) {
    const std::u8string utf8(path.begin(), path.end());
    return std::ofstream(std::filesystem::path(utf8), std::ios::binary | std::ios::trunc);
}

} // namespace

std::optional<UnattendedOptions>
UnattendedOptionsOf(const std::vector<std::string_view>& arguments) {
    bool unattended = false;
    std::optional<std::string> logFile;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (IsSwitch(argument, "unattended") && !unattended) {
            unattended = true;
        } else if (IsSwitch(argument, "log") && !logFile && i + 1 < arguments.size()) {
            logFile = std::string(arguments[++i]);
        } else if (const auto file = LogWithFile(argument); file && !logFile) {
            logFile = std::string(*file);
        } else {
            return std::nullopt;
        }
    }
    if (!unattended)
        return std::nullopt;
    return UnattendedOptions{logFile.value_or("")};
}

ExitStatus RunUnattended(app::ProcessValues& values, const app::StartupPaths& paths,
                         std::ostream& out, std::ostream& err, const UnattendedOptions& options) {
    // An output read by "| head" may close early; the update goes on all the same.
    platform::IgnoreBrokenPipes();
    std::ofstream log;
    if (!options.logFile.empty()) {
        log = OpenLog(options.logFile);
        if (!log) {
            err << ui::ErrorText("не вдалося створити журнал " + options.logFile) << '\n';
            return ExitStatus::Error;
        }
    }
    ConsoleWindow window(out, err, log.is_open() ? &log : nullptr);
    // The error display of the window program, turned into a status an administrator's
    // script can test.
    std::unique_ptr<app::TForm1> form;
    try {
        form = std::make_unique<app::TForm1>(window, values, paths);
    } catch (const std::exception& error) {
        window.ShowError(error.what());
        window.Finish();
        return ExitStatus::Error;
    }
    try {
        form->FormShow();
        if (form->Report().verdict == app::RunReport::Verdict::Allowed)
            form->btOKClick();
    } catch (const std::exception& error) {
        window.ShowError(error.what());
        form->NoteError(error.what());
    }
    const ExitStatus status = form->FinishRun();
    window.Finish();
    return status;
}

} // namespace norvane::console
