#include "frontends/console/unattended.h"

#include "frontends/console/console_window.h"
#include "platform/interrupt.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>

namespace norvane::console {

namespace {

constexpr std::string_view Usage =
    "Використання:\n"
    "  norvane-update                   вікно оновлення\n"
    "  norvane-update --unattended [--log ФАЙЛ] [--backup ТЕКА] [--rehearse]\n"
    "  norvane-update --help\n"
    "  norvane-update --version\n"
    "\n"
    "  --unattended     оновити без вікна: перевірки, потім оновлення; рядки стану йдуть\n"
    "                   на стандартний вивід, помилки й попередження - на стандартний\n"
    "                   вивід помилок\n"
    "  --log ФАЙЛ       записати всі рядки з часом також у ФАЙЛ (створюється заново)\n"
    "  --backup ТЕКА    перед першою зміною бази даних зробити її резервну копію в ТЕЦІ\n"
    "                   (для бази даних на сервері - тека на сервері); замість\n"
    "                   BackupFolder розділу [Update] файла nrv.ini\n"
    "  --rehearse       репетиція: застосувати пакети до копії бази даних; саму базу\n"
    "                   даних і теку програми не змінювати\n"
    "  --help           цей текст\n"
    "  --version        версія програми\n"
    "Так само: /unattended, /log ФАЙЛ, --log=ФАЙЛ, /log=ФАЙЛ, /backup ТЕКА, --backup=ТЕКА,\n"
    "/backup=ТЕКА, /rehearse, /help, -h, /?, /version.\n"
    "\n"
    "Коди завершення:\n"
    "  0   оновлено без помилок\n"
    "  2   помилка: базу даних не оновлено до останнього пакета; або командний рядок\n"
    "      не зрозумілий\n"
    "  3   оновлено, але з помилками\n"
    "  10  оновлення не потрібне\n"
    "  11  запущена програма Norvanework.exe\n"
    "  12  версія бази даних менша за пакети оновлення\n"
    "  13  виконується інше оновлення\n";

bool IsSwitch(std::string_view argument, std::string_view name) {
    return argument == "--" + std::string(name) || argument == "/" + std::string(name);
}

bool IsAnySwitch(std::string_view argument) {
    for (std::string_view name : {"unattended", "log", "backup", "rehearse", "help", "version"}) {
        if (IsSwitch(argument, name))
            return true;
    }
    return argument == "-h" || argument == "/?";
}

// "--name=VALUE" or "/name=VALUE": the value, empty for none; nothing for another argument.
std::optional<std::string_view> JoinedValue(std::string_view argument, std::string_view name) {
    for (const std::string& prefix :
         {"--" + std::string(name) + "=", "/" + std::string(name) + "="}) {
        if (argument.starts_with(prefix))
            return argument.substr(prefix.size());
    }
    return std::nullopt;
}

std::ofstream OpenLog(const std::string& path) {
    const std::u8string utf8(path.begin(), path.end());
    return std::ofstream(std::filesystem::path(utf8), std::ios::binary | std::ios::trunc);
}

// Reads the arguments in order, noting the first thing it does not understand.
class CommandLineReader {
public:
    explicit CommandLineReader(const std::vector<std::string_view>& arguments)
        : m_arguments(arguments) {}

    CommandLine Read() {
        for (m_next = 0; m_next < m_arguments.size() && m_line.error.empty();)
            ReadArgument(m_arguments[m_next++]);
        if (!m_unattended && !m_help && !m_version && !m_given.empty())
            Refuse("параметр " + m_given.front() + " діє лише разом з --unattended");
        if (!m_line.error.empty()) {
            m_line.mode = CommandLine::Mode::Invalid;
        } else if (m_help) {
            m_line.mode = CommandLine::Mode::Help;
        } else if (m_version) {
            m_line.mode = CommandLine::Mode::Version;
        } else if (m_unattended) {
            m_line.mode = CommandLine::Mode::Unattended;
        }
        return m_line;
    }

private:
    void ReadArgument(std::string_view argument) {
        if (IsSwitch(argument, "help") || argument == "-h" || argument == "/?") {
            m_help = true;
        } else if (IsSwitch(argument, "version")) {
            m_version = true;
        } else if (IsSwitch(argument, "unattended")) {
            Once("--unattended", m_unattended);
        } else if (IsSwitch(argument, "rehearse")) {
            Once("--rehearse", m_line.options.rehearse);
        } else if (!ReadValue(argument, "log", m_line.options.logFile, "імені файлу") &&
                   !ReadValue(argument, "backup", m_line.options.backupFolder, "теки")) {
            Refuse("невідомий параметр " + std::string(argument));
        }
    }

    // "--name VALUE" or "--name=VALUE" into value; false for another argument.
    bool ReadValue(std::string_view argument, std::string_view name, std::string& value,
                   std::string_view what) {
        std::optional<std::string_view> given = JoinedValue(argument, name);
        if (!given && !IsSwitch(argument, name))
            return false;
        const std::string option = "--" + std::string(name);
        if (!given && m_next < m_arguments.size() && !IsAnySwitch(m_arguments[m_next]))
            given = m_arguments[m_next++];
        if (!given || given->empty()) {
            Refuse("параметр " + option + " потребує " + std::string(what));
        } else {
            bool seen = !value.empty();
            Once(option, seen);
            value = std::string(*given);
        }
        return true;
    }

    void Once(const std::string& option, bool& seen) {
        if (seen)
            Refuse("параметр " + option + " задано двічі");
        seen = true;
        if (option != "--unattended")
            m_given.push_back(option);
    }

    void Refuse(std::string why) {
        if (m_line.error.empty())
            m_line.error = std::move(why);
    }

    const std::vector<std::string_view>& m_arguments;
    std::size_t m_next = 0;
    CommandLine m_line;
    bool m_unattended = false;
    bool m_help = false;
    bool m_version = false;
    // The options given, which ask for unattended mode.
    std::vector<std::string> m_given;
};

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string_view>& arguments) {
    return CommandLineReader(arguments).Read();
}

std::string UsageText() {
    return std::string(Usage);
}

std::string VersionText() {
    return "norvane-update " + std::string(app::InstallerVersion()) + "\n";
}

std::optional<int> RunWithoutWindow(const CommandLine& commandLine, app::ProcessValues& values,
                                    const app::StartupPaths& paths, std::ostream& out,
                                    std::ostream& err) {
    switch (commandLine.mode) {
    case CommandLine::Mode::Window:
        return std::nullopt;
    case CommandLine::Mode::Help:
        out << UsageText() << std::flush;
        return 0;
    case CommandLine::Mode::Version:
        out << VersionText() << std::flush;
        return 0;
    case CommandLine::Mode::Invalid:
        err << ui::ErrorText(commandLine.error) << "\n\n" << UsageText() << std::flush;
        return static_cast<int>(ExitStatus::Error);
    case CommandLine::Mode::Unattended:
        break;
    }
    return static_cast<int>(RunUnattended(values, paths, out, err, commandLine.options));
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
    if (!options.backupFolder.empty())
        form->UseBackupFolder(options.backupFolder);
    if (options.rehearse)
        form->Rehearse();
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
