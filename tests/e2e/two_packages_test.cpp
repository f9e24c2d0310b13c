// This executable carries packages 254 and 255.
#include "installer_fixture.h"

#include "base/exceptions.h"
#include "platform/files.h"
#include "support/database_dump.h"
#include "support/environment_override.h"
#include "support/row_holder.h"
#include "support/two_packages.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvane::testing {
namespace {

namespace fs = std::filesystem;
using app::RunReport;
using ui::Control;

TEST_F(InstallerTest, From253BothPackagesAreAppliedInOrder) {
    StartAtVersion(253);
    ASSERT_TRUE(m_window.Enabled(Control::btOK));
    EXPECT_EQ(m_window.Caption(Control::lActVer), "254 - 255");
    m_form->btOKClick();

    EXPECT_EQ(m_window.MemoLines(),
              TwoPackagesMemo(m_database.Path(), m_form->WorkDir, m_program.Str()));

    // The database went through both packages.
    EXPECT_EQ(DatabaseVersion(), "255");
    EXPECT_EQ(m_database.QueryCount("select count(*) from T254"), 2);
    EXPECT_EQ(m_database.QueryString("select QTY from T255 where ID = 1"), "30");
    EXPECT_EQ(m_database.QueryCount("select count(*) from rdb$procedures"
                                    " where rdb$procedure_name = 'ADD_QTY'"),
              1);
    EXPECT_EQ(m_database.QueryBlob("select NOTE_U from INFO_DOC where ID = 10"),
              ReadFile(fs::path(NORVANE_E2E_PACKAGES) / "255/up/INFO_DOC.NOTE_U.ID 10.blo"));

    // The program folder holds the newest program file and the templates.
    EXPECT_EQ(ReadFile(ProgramFile("Norvanework.exe")), "Program 255\r\n");
    EXPECT_EQ(ReadFile(ProgramFile("Report/a.fr3")), "report template a\r\n");
    EXPECT_EQ(ReadFile(ProgramFile("Report/B.fr3")), "report template B\r\n");

    // Archives are gone, used files renamed, and only the failing script has a log. Package
    // 255 was unpacked into a folder emptied of 254's files.
    EXPECT_FALSE(fs::exists(WorkFile("254.rar")));
    EXPECT_FALSE(fs::exists(WorkFile("255.rar")));
    for (const char* done :
         {"up/255.01.~sql", "up/255.02.~sql", "up/255.99.~sql", "up/INFO_DOC.NOTE_U.ID 10.~blo"})
        EXPECT_TRUE(fs::exists(WorkFile(done))) << done;
    for (const char* gone : {"up/254.01.~sql", "up/254.99.~sql"})
        EXPECT_FALSE(fs::exists(WorkFile(gone))) << gone;
    EXPECT_FALSE(fs::exists(WorkFile("up/255.01.sql")));
    EXPECT_TRUE(fs::exists(WorkFile("up/255.02.sql.log")));
    for (const char* log :
         {"up/254.01.sql.log", "up/254.99.sql.log", "up/255.01.sql.log", "up/255.99.sql.log"})
        EXPECT_FALSE(fs::exists(WorkFile(log))) << log;
    EXPECT_EQ(ReadFile(WorkFile("up/255.02.sql.log"))
                  .rfind("INSERT INTO NO_SUCH_TABLE VALUES (1)\r\n"
                         "------------------------- error ------------------------------\r\n",
                         0),
              0u);

    // The end state.
    EXPECT_FALSE(m_window.Visible(Control::btOK));
    EXPECT_EQ(m_window.Caption(Control::btCancel), "Зачинити");
    EXPECT_TRUE(m_window.Enabled(Control::btCancel));
    for (Control hidden : {Control::lUpdate, Control::ProgressBar2, Control::lTextFile,
                           Control::lFile, Control::lUpdateTime})
        EXPECT_FALSE(m_window.Visible(hidden)) << ui::ControlName(hidden);
    EXPECT_EQ(m_form->CurVer, 253);
    EXPECT_EQ(m_window.Caption(Control::lCurVer), "253");
    const auto& report = m_form->Report();
    EXPECT_EQ(report.install, RunReport::Install::Finished);
    EXPECT_EQ(report.failedStatements, 1);
    EXPECT_EQ(report.failedBlobs, 0);
    EXPECT_EQ(report.failedCopies, 0);
}

TEST_F(InstallerTest, TheInstallDisablesBothButtonsWhileAPackageIsApplied) {
    StartAtVersion(254);
    bool okEverEnabled = false;
    bool cancelEnabledWhileInstalling = false;
    m_window.OnPump = [&] {
        okEverEnabled = okEverEnabled || m_window.Enabled(Control::btOK);
        cancelEnabledWhileInstalling =
            cancelEnabledWhileInstalling ||
            (m_window.Visible(Control::lUpdate) && m_window.Enabled(Control::btCancel));
    };
    const auto checkEvents = m_window.Events().size();
    m_form->btOKClick();
    EXPECT_FALSE(okEverEnabled);
    EXPECT_FALSE(cancelEnabledWhileInstalling);
    EXPECT_GT(m_window.PumpCount(), 5);
    const auto& events = m_window.Events();
    const auto start = events.begin() + static_cast<std::ptrdiff_t>(checkEvents);
    const std::vector<std::string> first(start, start + 3);
    const std::vector<std::string> expectedFirst{"enabled btOK=0", "caption btCancel=Відмінити",
                                                 "visible plUp=1"};
    EXPECT_EQ(first, expectedFirst);
    EXPECT_EQ(DatabaseVersion(), "255");
}

TEST_F(InstallerTest, An252DatabaseIsOlderThanThePackages) {
    MakeDatabaseAt(252);
    // Enabled beforehand, so that the refusal's own disabling shows.
    m_window.SetEnabled(Control::btOK, true);
    Start();
    const auto lines = m_window.MemoLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "255_RAR");
    EXPECT_EQ(lines[lines.size() - 2], "Версія БД меньше номеру пакета оновлень");
    EXPECT_EQ(lines.back(), "Оновлення не можливо!!!");
    EXPECT_FALSE(m_window.Enabled(Control::btOK));
    EXPECT_EQ(m_window.Caption(Control::lCurVer), "252");
    EXPECT_EQ(m_window.Caption(Control::lActVer), "254 - 255");
    EXPECT_EQ(m_form->Report().verdict, RunReport::Verdict::DatabaseOlder);
}

TEST_F(InstallerTest, An255DatabaseWithPackage255sFilesIsRefusedAlthoughTheVersionsAreEqual) {
    MakeDatabaseAt(255);
    const fs::path package = fs::path(NORVANE_E2E_PACKAGES) / "255";
    for (const char* file : {"Norvanework.exe", "Report/a.fr3", "Report/B.fr3"})
        fs::copy_file(package / file, ProgramFile(file));
    // Enabled beforehand, so that the refusal's own disabling shows.
    m_window.SetEnabled(Control::btOK, true);
    Start();
    const auto lines = m_window.MemoLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Версія БД більша за номер пакета оновлень");
    EXPECT_EQ(lines.back(), "Оновлення не можливо!!!");
    EXPECT_FALSE(m_window.Enabled(Control::btOK));
    EXPECT_EQ(m_form->Report().verdict, RunReport::Verdict::UpToDate);
}

TEST_F(InstallerTest, AMissingArchiverStopsBeforeAnyPackage) {
    StartAtVersion(254);
    {
        TempFolder empty;
        EnvironmentOverride noArchiver("PATH", empty.Str());
        m_form->btOKClick();
    }
    const auto lines = m_window.MemoLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Наявність архиватора RAR...");
    EXPECT_EQ(lines.back(), "error: немає архіватора RAR");
    EXPECT_EQ(m_window.ErrorLines(), (std::vector<std::string>{lines.back()}));
    EXPECT_FALSE(m_window.Visible(Control::btOK));
    EXPECT_EQ(m_window.Caption(Control::btCancel), "Зачинити");
    EXPECT_TRUE(m_window.Enabled(Control::btCancel));
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Failed);
    EXPECT_EQ(DatabaseVersion(), "254");
    // Nothing of the installer's own is left in a database it could not update.
    EXPECT_EQ(m_database.QueryCount("select count(*) from rdb$relations "
                                    "where rdb$relation_name starting with 'NORVANE$'"),
              0);
}

// An administrator who finds the installer's tables reads what they are for, column by column,
// and who took the lock last.
TEST_F(InstallerTest, TheInstallersTablesAreDescribedAndTheLockNamesItsHolder) {
    StartAtVersion(254);
    m_form->btOKClick();
    ASSERT_EQ(m_form->Report().install, RunReport::Install::Finished);
    const std::string own = "in ('NORVANE$UPDATE_LOCK', 'NORVANE$UPDATE_JOURNAL')";
    EXPECT_EQ(m_database.QueryCount("select count(*) from rdb$relations where rdb$relation_name " +
                                    own + " and char_length(rdb$description) > 20"),
              2);
    EXPECT_EQ(m_database.QueryCount(
                  "select count(*) from rdb$relation_fields where rdb$relation_name " + own),
              11);
    EXPECT_EQ(m_database.QueryCount("select count(*) from rdb$relation_fields where "
                                    "rdb$relation_name " +
                                    own + " and coalesce(char_length(rdb$description), 0) = 0"),
              0);
    EXPECT_EQ(m_database.QueryString("select PROCESS_ID from NORVANE$UPDATE_LOCK"),
              std::to_string(::getpid()));
    EXPECT_EQ(m_database.QueryCount("select count(*) from NORVANE$UPDATE_LOCK where TAKEN_AT is "
                                    "not null and HOST > '' and USER_NAME > ''"),
              1);
}

// An archiver beside the installer is preferred; when it fails, or unpacks anything but the
// package, nothing of the package runs.
struct BrokenArchiver {
    const char* name;
    const char* script;
    /// The memo's last two lines; the last one as far as it is given.
    std::vector<std::string> lastLines;
};

void PrintTo(const BrokenArchiver& param, std::ostream* out) {
    *out << param.name;
}

class BrokenArchiverTest : public InstallerTest,
                           public ::testing::WithParamInterface<BrokenArchiver> {};

TEST_P(BrokenArchiverTest, StopsTheInstallBeforeAnyScript) {
    StartAtVersion(254);
    WriteFile(ProgramFile("rar"), GetParam().script);
    fs::permissions(ProgramFile("rar"), fs::perms::owner_all);
    m_form->btOKClick();
    const auto lines = m_window.MemoLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], GetParam().lastLines[0]);
    EXPECT_TRUE(lines.back().starts_with(GetParam().lastLines[1])) << lines.back();
    EXPECT_EQ(DatabaseVersion(), "254");
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Failed);
    EXPECT_EQ(m_window.Caption(Control::btCancel), "Зачинити");
}

INSTANTIATE_TEST_SUITE_P(
    Archivers, BrokenArchiverTest,
    ::testing::Values(
        BrokenArchiver{"ExitsWithACode",
                       "#!/bin/sh\nexit 7\n",
                       {"Розпаковка пакету...[OK]", "error: архіватор завершився з кодом 7"}},
        BrokenArchiver{"KilledByASignal",
                       "#!/bin/sh\nkill -KILL $$\n",
                       {"Розпаковка пакету...[OK]", "error: архіватор завершився з кодом 137"}},
        BrokenArchiver{"NoProgramAtAll", "not a program\n", {"Розпаковка пакету...", "error"}},
        BrokenArchiver{"AltersAMember",
                       "#!/bin/sh\nunrar \"$@\" >/dev/null || exit $?\n"
                       "printf 'DROP TABLE versions;\\r\\n' >> up/255.02.sql\n",
                       {"Розпаковка пакету...[OK]",
                        "error: пакет 255 пошкоджено: файл up\\255.02.sql: розмір "}},
        BrokenArchiver{"ChangesAByteInPlace",
                       "#!/bin/sh\nunrar \"$@\" >/dev/null || exit $?\n"
                       "sed -i 's/T255/T256/' up/255.01.sql\n",
                       {"Розпаковка пакету...[OK]",
                        "error: пакет 255 пошкоджено: файл up\\255.01.sql: контрольна сума"}},
        BrokenArchiver{"LeavesAMemberOut",
                       "#!/bin/sh\nunrar \"$@\" >/dev/null || exit $?\nrm up/255.99.sql\n",
                       {"Розпаковка пакету...[OK]",
                        "error: пакет 255 пошкоджено: файл up\\255.99.sql не розпаковано"}},
        BrokenArchiver{"AddsAScript",
                       "#!/bin/sh\nunrar \"$@\" >/dev/null || exit $?\n"
                       "printf 'DROP TABLE versions;\\r\\n' > up/255.50.sql\n",
                       {"Розпаковка пакету...[OK]", "error: пакет 255 пошкоджено: файл "}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InstallerTest, AWorkFolderLeftByAnEarlierRunIsCleanedNotRecreated) {
    StartAtVersion(254);
    const std::string work = m_form->WorkDir;
    fs::create_directories(fs::path(work) / "up" / "keep");
    WriteFile(fs::path(work) / "up" / "old.sql", "DROP TABLE versions;\r\n");
    WriteFile(fs::path(work) / "up" / "keep" / "deeper.txt", "stays");
    WriteFile(fs::path(work) / "stale.exe", "stale");
    struct stat before {};
    ASSERT_EQ(::stat(work.c_str(), &before), 0);

    m_form->btOKClick();

    struct stat after {};
    ASSERT_EQ(::stat(work.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_FALSE(fs::exists(fs::path(work) / "up" / "old.sql"));
    EXPECT_FALSE(fs::exists(fs::path(work) / "up" / "old.~sql"));
    EXPECT_FALSE(fs::exists(fs::path(work) / "stale.exe"));
    EXPECT_TRUE(fs::exists(fs::path(work) / "up" / "keep" / "deeper.txt"));
    EXPECT_EQ(DatabaseVersion(), "255");
    const auto lines = m_window.MemoLines();
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[7], "Створення тимчасового каталога");
    EXPECT_EQ(lines[8], work);
}

TEST_F(InstallerTest, ANewWorkFolderIsPrivate) {
    StartAtVersion(254);
    m_form->btOKClick();
    struct stat info {};
    ASSERT_EQ(::stat(m_form->WorkDir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(InstallerTest, AWorkFolderThatIsALinkIsRefused) {
    StartAtVersion(254);
    TempFolder elsewhere;
    WriteFile(elsewhere.Path() / "up" / "precious.sql", "keep me");
    fs::create_directory_symlink(elsewhere.Path(), m_form->WorkDir);
    m_form->btOKClick();
    const auto lines = m_window.MemoLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], m_form->WorkDir);
    EXPECT_EQ(lines.back().rfind("error", 0), 0u) << lines.back();
    EXPECT_TRUE(fs::exists(elsewhere.Path() / "up" / "precious.sql"));
    EXPECT_FALSE(fs::exists(elsewhere.Path() / "255.rar"));
    EXPECT_EQ(DatabaseVersion(), "254");
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Failed);
}

TEST_F(InstallerTest, AWorkFolderOfAnotherUserIsRefused) {
    StartAtVersion(254);
    fs::create_directory(m_form->WorkDir);
    if (::chown(m_form->WorkDir.c_str(), 65534, 65534) != 0)
        GTEST_SKIP() << "changing a folder's owner needs root";
    m_form->btOKClick();
    EXPECT_EQ(m_window.MemoLines().back().rfind("error", 0), 0u);
    EXPECT_TRUE(fs::is_empty(m_form->WorkDir));
    EXPECT_EQ(DatabaseVersion(), "254");
}

TEST_F(InstallerTest, AWorkFolderOthersMayWriteInIsRefused) {
    StartAtVersion(254);
    fs::create_directory(m_form->WorkDir);
    fs::permissions(m_form->WorkDir, fs::perms::all);
    m_form->btOKClick();
    EXPECT_EQ(m_window.MemoLines().back(),
              "error: каталог " + m_form->WorkDir + " доступний для запису іншим користувачам");
    EXPECT_TRUE(fs::is_empty(m_form->WorkDir));
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Failed);
    EXPECT_EQ(DatabaseVersion(), "254");
}

// Links planted in the work folder after its clean-up, where the packages are written out: the
// run replaces them and never writes where they lead.
TEST_F(InstallerTest, ALinkAtAPackagesNameIsReplacedAndWhereItLeadsIsUntouched) {
    StartAtVersion(253);
    TempFolder elsewhere;
    WriteFile(elsewhere.Path() / "precious", "keep me");
    const std::vector<std::pair<std::string, fs::path>> links{
        {"254.rar", elsewhere.Path() / "precious"}, {"255.rar", elsewhere.Path() / "never"}};
    std::size_t planted = 0;
    m_window.OnStatus = [&](std::string_view line) {
        if (line == "Копіювання пакету" && planted < links.size()) {
            fs::create_symlink(links[planted].second, WorkFile(links[planted].first));
            ++planted;
        }
    };
    m_form->btOKClick();
    EXPECT_EQ(planted, 2u) << m_window.MemoText();
    EXPECT_EQ(ReadFile(elsewhere.Path() / "precious"), "keep me");
    EXPECT_FALSE(fs::exists(elsewhere.Path() / "never"));
    EXPECT_EQ(m_form->Report().install, RunReport::Install::Finished) << m_window.MemoText();
    EXPECT_EQ(DatabaseVersion(), "255");
}

TEST_F(InstallerTest, ALinkInPlaceOfTheScriptsFolderIsRemovedNotEntered) {
    StartAtVersion(254);
    TempFolder elsewhere;
    WriteFile(elsewhere.Path() / "precious.sql", "keep me");
    fs::create_directory(m_form->WorkDir);
    fs::permissions(m_form->WorkDir, fs::perms::owner_all);
    fs::create_directory_symlink(elsewhere.Path(), WorkFile("up"));
    m_form->btOKClick();
    EXPECT_EQ(ReadFile(elsewhere.Path() / "precious.sql"), "keep me");
    EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere.Path()), fs::directory_iterator()), 1);
    EXPECT_FALSE(fs::is_symlink(WorkFile("up")));
    EXPECT_EQ(DatabaseVersion(), "255");
}

// Another computer's program folder, whose nrv.ini names the same database.
struct OtherComputer {
    TempFolder program;
    TempFolder temp;
    RecordingWindow window;
    app::ProcessValues values;
    std::unique_ptr<app::TForm1> form;

    explicit OtherComputer(const std::string& ini) {
        fs::create_directory(program.Path() / "Report");
        WriteFile(program.Path() / "nrv.ini", ini);
    }
    void Start() {
        form.reset();
        values = app::ProcessValues{};
        window = RecordingWindow{};
        form = std::make_unique<app::TForm1>(
            window, values, app::StartupPaths{program / "norvane-update", temp.Str()});
        form->FormShow();
    }
    bool Said(std::string_view text) const {
        const auto lines = window.MemoLines();
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
};

constexpr std::string_view ProgramFilesOnlyLine =
    "База даних уже оновлена; програмні файли цього комп'ютера відрізняються від пакета 255: "
    "будуть оновлені лише вони";

class SharedDatabaseTest : public InstallerTest {
protected:
    // The first computer takes the database from 254 to 255.
    void UpdateOnFirstComputer() {
        StartAtVersion(254);
        m_form->btOKClick();
        ASSERT_EQ(m_form->FinishRun(), app::ExitStatus::UpdatedWithFailures);
        m_updated = Dump(m_database.Path());
    }
    void ExpectProgramFilesAsOnFirst(const OtherComputer& other) {
        for (const char* name : {"Norvanework.exe", "Report/a.fr3", "Report/B.fr3"})
            EXPECT_EQ(ReadFile(other.program / name), ReadFile(ProgramFile(name))) << name;
    }
    std::string m_updated;
};

TEST_F(SharedDatabaseTest, ASecondComputerGetsTheNewestProgramFilesAndTheDatabaseStaysAsItIs) {
    UpdateOnFirstComputer();
    OtherComputer second(ReadFile(ProgramFile("nrv.ini")));
    WriteFile(second.program / "Norvanework.exe", "Program 254\r\n");
    second.Start();

    EXPECT_EQ(second.window.MemoLines().back(), ProgramFilesOnlyLine);
    ASSERT_TRUE(second.window.Enabled(Control::btOK));
    EXPECT_EQ(second.form->Report().verdict, RunReport::Verdict::Allowed);
    second.form->btOKClick();
    EXPECT_EQ(second.form->Report().install, RunReport::Install::Finished);
    EXPECT_TRUE(second.window.ErrorLines().empty()) << second.window.MemoText();
    EXPECT_FALSE(second.Said("Встановлення оновлення")) << second.window.MemoText();
    EXPECT_TRUE(second.Said("Norvanework.exe...[OK]")) << second.window.MemoText();
    EXPECT_FALSE(fs::exists(fs::path(second.form->WorkDir) / "255.rar"));
    EXPECT_EQ(second.form->FinishRun(), app::ExitStatus::Updated);

    ExpectProgramFilesAsOnFirst(second);
    EXPECT_EQ(Dump(m_database.Path()), m_updated);
    const std::string history = ReadFile(second.program / "norvane-update.log");
    EXPECT_NE(history.find("пакет 255 (лише програмні файли: базу даних уже оновлено)"),
              std::string::npos)
        << history;

    // Now its files are the package's: refused as before, and so is the first computer.
    second.Start();
    EXPECT_EQ(second.window.MemoLines().end()[-2], "Версія БД більша за номер пакета оновлень");
    EXPECT_FALSE(second.window.Enabled(Control::btOK));
    EXPECT_EQ(second.form->FinishRun(), app::ExitStatus::UpToDate);
    StartAgain();
    EXPECT_EQ(m_form->Report().verdict, RunReport::Verdict::UpToDate);
    EXPECT_EQ(m_form->FinishRun(), app::ExitStatus::UpToDate);
    EXPECT_EQ(Dump(m_database.Path()), m_updated);
}

// Another installer, carrying a newer package, may go past 255 while this one unpacks: its
// program files would then be older than the database's, and none is copied.
TEST_F(SharedDatabaseTest, ASecondComputerCopiesNothingWhenTheDatabaseWentPastThePackage) {
    UpdateOnFirstComputer();
    OtherComputer second(ReadFile(ProgramFile("nrv.ini")));
    WriteFile(second.program / "Norvanework.exe", "Program 254\r\n");
    second.Start();
    ASSERT_EQ(second.window.MemoLines().back(), ProgramFilesOnlyLine);
    second.window.OnStatus = [this, done = false](std::string_view line) mutable {
        if (done || line != "Розпаковка пакету...")
            return;
        done = true;
        RowHolder newer(m_database.Path(), "INSERT INTO versions (code, build, data, update_date) "
                                           "VALUES (1, 6, 256, '2021-02-01')");
        newer.Commit();
    };
    second.form->btOKClick();

    EXPECT_EQ(second.form->Report().install, RunReport::Install::Busy);
    EXPECT_EQ(second.window.ErrorLines(),
              std::vector<std::string>{"error: версію бази даних змінила інша програма оновлення "
                                       "(тепер 256); запустіть оновлення ще раз"})
        << second.window.MemoText();
    EXPECT_EQ(second.form->FinishRun(), app::ExitStatus::AnotherInstallerRunning);
    EXPECT_EQ(ReadFile(second.program / "Norvanework.exe"), "Program 254\r\n");
    EXPECT_FALSE(fs::exists(second.program / "Report/a.fr3"));
    EXPECT_EQ(DatabaseVersion(), "256");
}

// Each difference the check must see: a file missing, another size, the same size with other
// bytes.
TEST_F(SharedDatabaseTest, AnyProgramFileOrTemplateThatDiffersIsFound) {
    UpdateOnFirstComputer();
    const std::string template_ = ReadFile(ProgramFile("Report/a.fr3"));
    std::string sameSize = template_;
    sameSize[0] = static_cast<char>(sameSize[0] ^ 1);
    const std::vector<std::pair<std::string, std::string>> changes{
        {"Report/B.fr3", ""}, {"Report/a.fr3", template_ + "x"}, {"Report/a.fr3", sameSize}};
    for (const auto& [name, bytes] : changes) {
        OtherComputer other(ReadFile(ProgramFile("nrv.ini")));
        for (const char* file : {"Norvanework.exe", "Report/a.fr3", "Report/B.fr3"})
            fs::copy_file(ProgramFile(file), other.program / file);
        if (bytes.empty())
            fs::remove(other.program / name);
        else
            WriteFile(other.program / name, bytes);
        other.Start();
        EXPECT_EQ(other.window.MemoLines().back(), ProgramFilesOnlyLine) << name;
        other.form->btOKClick();
        EXPECT_EQ(other.form->FinishRun(), app::ExitStatus::Updated) << name;
        ExpectProgramFilesAsOnFirst(other);
    }
    EXPECT_EQ(Dump(m_database.Path()), m_updated);
}

} // namespace
} // namespace norvane::testing
