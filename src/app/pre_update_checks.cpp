#include "app/form1.h"

#include "app/install_sequence.h"
#include "base/text.h"
#include "package/packages.h"
#include "package/program_files.h"
#include "platform/process.h"
#include "update/update_journal.h"

#include <string>

namespace norvane::app {

namespace {

constexpr std::string_view MainProgramFileName = "Norvanework.exe";

} // namespace

bool TForm1::IsProgramRunning() const {
    return platform::IsProcessRunning(MainProgramFileName);
}

void TForm1::RefuseUpdate(std::string_view reason) {
    if (!reason.empty())
        m_window.AddStatus(reason);
    m_window.AddStatus("Оновлення не можливо!!!");
    m_window.SetEnabled(ui::Control::btOK, false);
}

bool TForm1::LockLocalDatabase(const std::string& server) {
    // Through a server the database's lock row keeps a second installer out. An engine in
    // this process may open the file for this process alone; a second installer would then be
    // told by the engine's refusal to attach, so the file is locked first.
    if (!TrimControl(server).empty())
        return true;
    m_databaseUse = platform::FileUseLock::TryAcquire(m_values.PathBaseIB);
    if (m_databaseUse)
        return true;
    m_report.verdict = RunReport::Verdict::Busy;
    NoteError(DatabaseBusyText);
    m_window.AddError(ui::ErrorText(DatabaseBusyText));
    RefuseUpdate({});
    return false;
}

void TForm1::FormShow() {
    m_window.AddStatus("Перевірка запущенної програми...");
    if (IsProgramRunning()) {
        m_report.verdict = RunReport::Verdict::ProgramRunning;
        m_window.AddStatus("Программа запущена");
        RefuseUpdate({});
        m_window.ShowMessageBox("ПК Norvane запущена. Будь ласка, закрийте програму та "
                                "перезапустіть оновлення!",
                                ui::MessageKind::Warning);
        return;
    }
    m_window.MarkStatus("OK");

    m_window.AddStatus("Підключення до бази даних");
    m_window.AddStatus(m_values.PathBaseIB);
    // A local database is attached by its path alone, whatever server name is configured.
    const std::string server = m_values.TypeServer != 0 ? m_values.NameServer : std::string();
    if (!LockLocalDatabase(server))
        return;
    m_values.GlobDB->Connect(server, m_values.PathBaseIB, "", "");
    m_history.Add("база даних: " + m_values.GlobDB->GetDatabase().DatabaseName());

    CurVer = m_values.GlobDB->GetVersion();
    m_history.Add("версія до оновлення: " + std::to_string(CurVer));
    m_window.SetCaption(ui::Control::lCurVer, std::to_string(CurVer));
    m_window.AddStatus("Версія бази даних: " + std::to_string(CurVer));

    m_window.AddStatus("Наявні пакети оновлення:");
    ListPackages();
    m_window.SetCaption(ui::Control::lActVer,
                        MinVer == MaxVer ? std::to_string(MaxVer)
                                         : std::to_string(MinVer) + " - " + std::to_string(MaxVer));

    m_completing = PackageToComplete();
    // Widened, so that a version at the edge of the 32-bit range cannot overflow.
    const std::int64_t current = CurVer;
    if (current + 1 < MinVer) {
        m_report.verdict = RunReport::Verdict::DatabaseOlder;
        RefuseUpdate("Версія БД меньше номеру пакета оновлень");
    } else if (current < MaxVer || m_completing) {
        m_report.verdict = RunReport::Verdict::Allowed;
        m_window.MarkStatus(" [OK]");
        if (m_completing)
            m_window.AddStatus("Встановлення пакета " + std::to_string(*m_completing) +
                               " не завершено: його буде завершено");
        m_window.SetEnabled(ui::Control::btOK, true);
    } else if (current == MaxVer && ProgramFilesDifferFromNewest()) {
        m_report.verdict = RunReport::Verdict::Allowed;
        m_programFilesOnly = true;
        m_window.MarkStatus(" [OK]");
        m_window.AddStatus("База даних уже оновлена; програмні файли цього комп'ютера "
                           "відрізняються від пакета " +
                           std::to_string(MaxVer) + ": будуть оновлені лише вони");
        m_window.SetEnabled(ui::Control::btOK, true);
    } else {
        m_report.verdict = RunReport::Verdict::UpToDate;
        RefuseUpdate("Версія БД більша за номер пакета оновлень");
    }
}

bool TForm1::ProgramFilesDifferFromNewest() {
    if (MaxVer == 0)
        return false;
    try {
        return !package::ProgramFilesDiffering(package::CheckPackage(MaxVer), m_values.ExeDir)
                    .empty();
    } catch (const package::EDamagedArchive&) {
        // A damaged package puts nothing in place; the install would refuse it.
        return false;
    }
}

std::optional<std::int32_t> TForm1::PackageToComplete() {
    // The installer must carry the package to put its files in place.
    update::UpdateJournal journal(*m_values.GlobDB);
    const std::optional<std::int32_t> unfinished = journal.UnfinishedPackage();
    if (unfinished && *unfinished == CurVer && MinVer != 0 && MinVer <= CurVer && CurVer <= MaxVer)
        return unfinished;
    return std::nullopt;
}

void TForm1::ListPackages() {
    m_values.PackageList.clear();
    package::CollectPackageNames(m_values.PackageList);
    MinVer = 0;
    MaxVer = 0;
    for (const auto& name : m_values.PackageList) {
        m_window.AddStatus(name);
        // Only names holding "_RAR" are listed, so every one has a number.
        const std::int32_t number = package::PackageNumberOf(name).value();
        if (MinVer == 0 || number < MinVer)
            MinVer = number;
        if (MaxVer == 0 || number > MaxVer)
            MaxVer = number;
    }
}

} // namespace norvane::app
