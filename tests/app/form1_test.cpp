#include "app/form1.h"

#include "base/exceptions.h"
#include "db/statement.h"
#include "support/expect_throw.h"
#include "support/recording_window.h"
#include "support/running_program.h"
#include "support/temp_folder.h"
#include "support/test_database.h"
#include "support/test_server.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace norvane::app {
namespace {

using testing::RecordingWindow;
using testing::RunningProgram;
using testing::TempFolder;
using testing::TestDatabase;
using testing::WriteFile;
using ui::Control;

// This test executable carries no packages, so the checks see none.
class Form1Test : public ::testing::Test {
protected:
    TForm1 MakeForm() {
        return TForm1(m_window, m_values, {m_program / "norvane-update", m_temp.Str()});
    }
    void WriteIni(std::string_view text) { WriteFile(m_program.Path() / "nrv.ini", text); }

    TempFolder m_program;
    TempFolder m_temp;
    RecordingWindow m_window;
    ProcessValues m_values;
};

TEST_F(Form1Test, ConstructionFixesTheFoldersAndReadsTheConfiguration) {
    WriteIni("[Common]\nPathBaseIB=/srv/db.fdb\nNameServer=host\nTypeServer=0x10\n");
    TForm1 form = MakeForm();
    EXPECT_EQ(m_values.ExeDir, m_program.Str());
    EXPECT_EQ(m_values.IniPath, m_program / "nrv.ini");
    EXPECT_EQ(m_values.PathBaseIB, "/srv/db.fdb");
    EXPECT_EQ(m_values.NameServer, "host");
    EXPECT_EQ(m_values.TypeServer, 16);
    EXPECT_EQ(form.TempDir, m_temp.Str());
    EXPECT_EQ(form.WorkDir, m_temp / "nrv7.nvx");
    EXPECT_EQ(form.LogFile, "");
    EXPECT_EQ(form.CurVer, 0);
    ASSERT_NE(m_values.GlobDB, nullptr);
    EXPECT_TRUE(m_window.MemoText().empty());
}

TEST_F(Form1Test, AnInstallerInTheRootFolderLooksThere) {
    TForm1 form(m_window, m_values, {"/norvane-update", m_temp.Str()});
    EXPECT_EQ(m_values.ExeDir, "/");
    EXPECT_EQ(m_values.IniPath, "/nrv.ini");
    EXPECT_EQ(m_values.PathBaseIB, "/norvane.fdb");
}

TEST_F(Form1Test, WithoutPackagesTheUpdateIsRefusedAsNotNewer) {
    TestDatabase database;
    database.Execute("create table versions (code integer, build integer, data integer,"
                     " update_date timestamp);"
                     "insert into versions values (1, 1, 254, '2011-06-01');");
    WriteIni("[Common]\nPathBaseIB=" + database.Path() + "\n");
    TForm1 form = MakeForm();
    // Enabled beforehand, so that the refusal's own disabling shows.
    m_window.SetEnabled(Control::btOK, true);
    form.FormShow();

    const std::vector<std::string> expected{
        "Перевірка запущенної програми...OK",
        "Підключення до бази даних",
        database.Path(),
        "Версія бази даних: 254",
        "Наявні пакети оновлення:",
        "Версія БД більша за номер пакета оновлень",
        "Оновлення не можливо!!!",
    };
    EXPECT_EQ(m_window.MemoLines(), expected);
    EXPECT_EQ(m_window.Caption(Control::lCurVer), "254");
    EXPECT_EQ(m_window.Caption(Control::lActVer), "0");
    EXPECT_FALSE(m_window.Enabled(Control::btOK));
    EXPECT_EQ(form.MinVer, 0);
    EXPECT_EQ(form.MaxVer, 0);
    EXPECT_EQ(form.Report().verdict, RunReport::Verdict::UpToDate);
    EXPECT_TRUE(m_window.MessageBoxes().empty());
}

TEST_F(Form1Test, AMissingDatabaseEndsTheChecksAfterItsPath) {
    WriteIni("[Common]\nPathBaseIB=" + (m_program / "absent.fdb") + "\n");
    TForm1 form = MakeForm();
    EXPECT_THROW_MSG(form.FormShow(), db::EFirebirdError,
                     "I/O error during \"open\" operation for file \"" +
                         (m_program / "absent.fdb") +
                         "\"\nError while trying to open file\nNo such file or directory");
    const auto lines = m_window.MemoLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), m_program / "absent.fdb");
    EXPECT_EQ(m_window.Caption(Control::lCurVer), "-");
    EXPECT_EQ(m_window.Caption(Control::lActVer), "-");
    EXPECT_FALSE(m_window.Enabled(Control::btOK));
}

// How the checks' attachment reached the database: "TCPv4" through a server, nothing for the
// embedded engine.
std::optional<std::string> NetworkProtocol(db::CGlobDB& globDB) {
    db::Statement query(globDB.GetDatabase(), db::Parameters::Raw);
    query.SetSql("select rdb$get_context('SYSTEM', 'NETWORK_PROTOCOL') from rdb$database");
    query.Execute();
    if (!query.Fetch())
        return std::nullopt;
    const db::FieldValue value = query.Field(0);
    query.Close();
    if (const auto* text = std::get_if<std::string>(&value))
        return *text;
    return std::nullopt;
}

TEST_F(Form1Test, ALocalTypeServerIgnoresTheServerName) {
    TestDatabase database;
    database.Execute("create table versions (data integer, update_date timestamp);");
    // The server name does not resolve: attaching through it would fail.
    WriteIni("[Common]\nPathBaseIB=" + database.Path() +
             "\nNameServer=no-such-host.invalid\nTypeServer=0\n");
    TForm1 form = MakeForm();
    form.FormShow();
    EXPECT_EQ(form.CurVer, 0);
    EXPECT_EQ(m_window.Caption(Control::lCurVer), "0");
    EXPECT_EQ(NetworkProtocol(*m_values.GlobDB), std::nullopt);
}

using Form1ServerTest = testing::WithTestServer<Form1Test>;

TEST_F(Form1ServerTest, ARemoteTypeServerAttachesThroughTheServerName) {
    TestDatabase database;
    database.Execute("create table versions (data integer, update_date timestamp);"
                     "insert into versions values (254, '2011-06-01');");
    WriteIni("[Common]\nPathBaseIB=" + database.Path() + "\nNameServer=" + Server() +
             "\nTypeServer=1\n");
    TForm1 form = MakeForm();
    form.FormShow();
    EXPECT_EQ(form.CurVer, 254);
    EXPECT_EQ(m_window.Caption(Control::lCurVer), "254");
    EXPECT_EQ(m_values.GlobDB->GetDatabase().DatabaseName(), Server() + ":" + database.Path());
    EXPECT_EQ(NetworkProtocol(*m_values.GlobDB), "TCPv4");
}

TEST_F(Form1Test, ARunningMainProgramRefusesBeforeAnyDatabaseWork) {
    for (const char* name : {"Norvanework.exe", "NORVANEWORK.EXE", "norvanework.Exe"}) {
        SCOPED_TRACE(name);
        RecordingWindow window;
        ProcessValues values;
        RunningProgram program(name);
        TForm1 form(window, values, {m_program / "norvane-update", m_temp.Str()});
        window.SetEnabled(Control::btOK, true);
        form.FormShow();
        const std::vector<std::string> expected{"Перевірка запущенної програми...",
                                                "Программа запущена", "Оновлення не можливо!!!"};
        EXPECT_EQ(window.MemoLines(), expected);
        ASSERT_EQ(window.MessageBoxes().size(), 1u);
        EXPECT_EQ(window.MessageBoxes()[0].text, "ПК Norvane запущена. Будь ласка, закрийте "
                                                 "програму та перезапустіть оновлення!");
        EXPECT_EQ(window.MessageBoxes()[0].kind, ui::MessageKind::Warning);
        EXPECT_EQ(window.Caption(Control::lCurVer), "-");
        EXPECT_FALSE(window.Enabled(Control::btOK));
        EXPECT_EQ(form.Report().verdict, RunReport::Verdict::ProgramRunning);
    }
}

// A database that was attached but holds no versions table: the end of the run cannot read
// the version it reached, and the history says why instead of a number.
TEST_F(Form1Test, AVersionThatCannotBeReadAtTheEndIsNotedWithItsReason) {
    TestDatabase database;
    WriteIni("[Common]\nPathBaseIB=" + database.Path() + "\n");
    TForm1 form = MakeForm();
    try {
        form.FormShow();
    } catch (const Exception& error) {
        form.NoteError(error.what());
    }
    ASSERT_TRUE(m_values.GlobDB->GetDatabase().Connected());

    EXPECT_EQ(form.FinishRun(), ExitStatus::Error);
    const std::string history = testing::ReadFile(m_program.Path() / "norvane-update.log");
    const auto unknown = history.find("версія після оновлення невідома: ");
    ASSERT_NE(unknown, std::string::npos) << history;
    EXPECT_NE(history.find("VERSIONS", unknown), std::string::npos) << history;
    EXPECT_NE(history.find("результат: помилка, базу даних не оновлено до останнього пакета "
                           "(код 2)\n",
                           unknown),
              std::string::npos)
        << history;
    EXPECT_EQ(m_values.GlobDB, nullptr);
    EXPECT_TRUE(m_window.MessageBoxes().empty());
}

// A history that cannot be appended to (here a folder stands where the file goes) is said in
// a warning; the run still ends with its status and its database closed.
TEST_F(Form1Test, AHistoryThatCannotBeWrittenIsShownAsAWarning) {
    const std::filesystem::path history = m_program.Path() / "norvane-update.log";
    std::filesystem::create_directory(history);
    WriteIni("[Common]\nPathBaseIB=" + (m_program / "absent.fdb") + "\n");
    TForm1 form = MakeForm();
    try {
        form.FormShow();
        ADD_FAILURE() << "the attach did not fail";
    } catch (const db::EFirebirdError& error) {
        form.NoteError(error.what());
    }

    EXPECT_EQ(form.FinishRun(), ExitStatus::Error);
    ASSERT_EQ(m_window.MessageBoxes().size(), 1u);
    EXPECT_EQ(m_window.MessageBoxes()[0].text,
              "Не вдалося дописати історію оновлень " + history.string());
    EXPECT_EQ(m_window.MessageBoxes()[0].kind, ui::MessageKind::Warning);
    EXPECT_TRUE(std::filesystem::is_empty(history));
    EXPECT_EQ(m_values.GlobDB, nullptr);
}

TEST_F(Form1Test, CancelClosesTheWindow) {
    TForm1 form = MakeForm();
    form.btCancelClick();
    EXPECT_EQ(m_window.CloseCount(), 1);
}

} // namespace
} // namespace norvane::app
