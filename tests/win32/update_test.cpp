// The shipped installer updating a real database end to end under Wine: norvane-update.exe
// carrying packages 254 and 255, beside it the test fbclient.dll and the stand-in rar.exe, and a
// database at 253. It runs with its window, whose button is pressed as a user presses it, and
// unattended; in plain folders and in folders with Ukrainian names. The database, the memo and
// the files must end as they do on Linux (tests/e2e/two_packages_test.cpp).

#include "platform/files.h"
#include "platform/paths.h"
#include "support/temp_folder.h"
#include "support/test_database.h"
#include "support/test_server.h"
#include "support/two_packages.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>

namespace norvane {
namespace {

namespace fs = std::filesystem;
using platform::win32::Utf8;
using platform::win32::Wide;
using testing::ControlText;
using testing::ReadFile;
using testing::ShownWindowOf;

// How the installer reaches its database: the embedded engine, or the test's loopback server.
enum class Attach { Local, Server };

// Where the product, the temporary files and the database lie, inside one test folder.
struct Layout {
    const char* name;
    const char* program;
    const char* temp;
    const char* database;
    Attach attach;
};

void PrintTo(const Layout& layout, std::ostream* out) {
    *out << layout.name;
}

const Layout Layouts[] = {
    {"Plain", "Norvane", "Temp", "norvane.fdb", Attach::Local},
    {"Ukrainian", "Програма Норвейн", "Тимчасові файли", "Дані їжака\\Кошторис ґанку.fdb",
     Attach::Local},
    {"UkrainianOnServer", "Програма Норвейн", "Тимчасові файли", "Дані їжака\\Кошторис.fdb",
     Attach::Server},
};

fs::path Native(const std::string& path) {
    return fs::path(Wide(path));
}

std::vector<std::string> Lines(std::string text) {
    std::erase(text, '\r');
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// The child of a window whose text is text.
HWND ChildWithText(HWND window, const std::string& text) {
    HWND found = nullptr;
    testing::ForEachChild(window, [&](HWND child) {
        if (ControlText(child) != text)
            return true;
        found = child;
        return false;
    });
    return found;
}

void Click(HWND window, HWND button) {
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
}

class Win32Update : public ::testing::TestWithParam<Layout> {
protected:
    void SetUp() override {
        const Layout& layout = GetParam();
        server = layout.attach == Attach::Server ? testing::ServerForTest() : std::string();
        if (layout.attach == Attach::Server && server.empty())
            GTEST_SKIP() << testing::NoServerReason;
        program = JoinPath(root.Str(), layout.program);
        temp = JoinPath(root.Str(), layout.temp);
        ASSERT_TRUE(platform::CreateFolder(program));
        ASSERT_TRUE(platform::CreateFolder(JoinPath(program, "Report")));
        ASSERT_TRUE(platform::CreateFolder(temp));
        installer = JoinPath(program, "norvane-update.exe");
        const std::string here = testing::TestProgramFolder();
        ASSERT_FALSE(platform::CopyFileReplacing(NORVANE_E2E_INSTALLER, installer));
        ASSERT_FALSE(platform::CopyFileReplacing(JoinPath(here, "rar_standin.exe"),
                                                 JoinPath(program, "rar.exe")));
        ASSERT_FALSE(platform::CopyFileReplacing(JoinPath(here, "fbclient.dll"),
                                                 JoinPath(program, "fbclient.dll")));

        database = std::make_unique<testing::TestDatabase>(3, layout.database);
        database->Execute(testing::ProductDatabaseScript(253));
        // A Unicode configuration file: the path's letters need not fit the ANSI code page.
        const std::string serverLines = layout.attach == Attach::Server
                                            ? "NameServer=" + server + "\r\nTypeServer=1\r\n"
                                            : "TypeServer=0\r\n";
        const std::wstring ini =
            L"\xFEFF[Common]\r\nPathBaseIB=" + Wide(database->Path()) + L"\r\n" + Wide(serverLines);
        testing::WriteFile(Native(JoinPath(program, "nrv.ini")),
                           std::string_view(reinterpret_cast<const char*>(ini.data()),
                                            ini.size() * sizeof(wchar_t)));
    }

    // The installer's temporary folder is the one its environment names.
    testing::ExtraEnvironment Environment() const { return {"TMP=" + temp, "TEMP=" + temp}; }

    std::string Work(std::string_view name) const {
        return JoinPath(JoinPath(temp, "nrv7.nvx"), name);
    }

    std::vector<std::string> ExpectedMemo() const {
        return testing::TwoPackagesMemo(database->Path(), JoinPath(temp, "nrv7.nvx"), program);
    }

    // The database went through both packages, the program folder holds the newest files,
    // and the work folder what the Linux run leaves.
    void ExpectUpdated() {
        const fs::path packages = NORVANE_E2E_PACKAGES;
        EXPECT_EQ(database->QueryString("select first 1 data from versions"
                                        " order by update_date desc"),
                  "255");
        EXPECT_EQ(database->QueryCount("select count(*) from T254"), 2);
        EXPECT_EQ(database->QueryString("select QTY from T255 where ID = 1"), "30");
        EXPECT_EQ(database->QueryCount("select count(*) from rdb$procedures"
                                       " where rdb$procedure_name = 'ADD_QTY'"),
                  1);
        EXPECT_EQ(database->QueryBlob("select NOTE_U from INFO_DOC where ID = 10"),
                  ReadFile(packages / "255/up/INFO_DOC.NOTE_U.ID 10.blo"));

        EXPECT_EQ(ReadFile(Native(JoinPath(program, "Norvanework.exe"))),
                  ReadFile(packages / "255/Norvanework.exe"));
        EXPECT_EQ(ReadFile(Native(JoinPath(program, "Report\\a.fr3"))),
                  ReadFile(packages / "255/Report/a.fr3"));
        EXPECT_EQ(ReadFile(Native(JoinPath(program, "Report\\B.fr3"))),
                  ReadFile(packages / "255/Report/B.fr3"));

        EXPECT_FALSE(platform::FileExists(Work("254.rar")));
        EXPECT_FALSE(platform::FileExists(Work("255.rar")));
        // Package 255 was unpacked into a folder emptied of 254's files.
        for (const char* done : {"up\\255.01.~sql", "up\\255.02.~sql", "up\\255.99.~sql",
                                 "up\\INFO_DOC.NOTE_U.ID 10.~blo"})
            EXPECT_TRUE(platform::FileExists(Work(done))) << done;
        for (const char* gone : {"up\\254.01.~sql", "up\\254.99.~sql"})
            EXPECT_FALSE(platform::FileExists(Work(gone))) << gone;
        for (const char* log : {"up\\254.01.sql.log", "up\\254.99.sql.log", "up\\255.01.sql.log",
                                "up\\255.99.sql.log"})
            EXPECT_FALSE(platform::FileExists(Work(log))) << log;
        EXPECT_EQ(ReadFile(Native(Work("up\\255.02.sql.log")))
                      .rfind("INSERT INTO NO_SUCH_TABLE VALUES (1)\r\n"
                             "------------------------- error ------------------------------\r\n",
                             0),
                  0u);
    }

    testing::TempFolder root;
    std::string program;
    std::string temp;
    std::string installer;
    std::string server;
    std::unique_ptr<testing::TestDatabase> database;
};

TEST_P(Win32Update, UnattendedAppliesBothPackages) {
    const auto run = testing::RunCaptured(installer, "--unattended", program, Environment());
    // Updated, with the one failing statement of 255.02.sql.
    EXPECT_EQ(run.exitCode, 3) << run.out << run.err;
    // Lines that report an error go to the error output.
    std::vector<std::string> out;
    std::vector<std::string> err;
    for (const std::string& line : ExpectedMemo())
        (line.rfind("error", 0) == 0 ? err : out).push_back(line);
    // The blob file, which has no memo line, is named as its load starts.
    const auto lastScript = std::find(out.begin(), out.end(), "255.99.sql");
    ASSERT_NE(lastScript, out.end());
    out.insert(lastScript + 1, "INFO_DOC.NOTE_U.ID 10.blo (1/1)");
    EXPECT_EQ(Lines(run.out), out);
    EXPECT_EQ(Lines(run.err), err);
    ExpectUpdated();
}

TEST_P(Win32Update, TheWindowAppliesBothPackagesWhenItsButtonIsPressed) {
    testing::StartedProgram started(installer, "", program, Environment());
    ASSERT_TRUE(started.Started()) << started.Error();
    // The window appears once the checks have run; an error box would come instead.
    const auto failedBox = [&] {
        HWND box = ShownWindowOf(started.ProcessId(), L"#32770");
        return box != nullptr ? testing::MessageBoxText(box) : std::string();
    };
    HWND window = nullptr;
    for (int tick = 0; tick < 6000 && window == nullptr; ++tick) {
        ASSERT_EQ(failedBox(), "");
        window = ShownWindowOf(started.ProcessId(), L"TForm1");
        if (window == nullptr)
            ::Sleep(10);
    }
    ASSERT_NE(window, nullptr);
    HWND ok = ChildWithText(window, "Оновить");
    HWND cancel = ::GetDlgItem(window, IDCANCEL);
    HWND memo = testing::ChildOfClass(window, L"Edit");
    ASSERT_NE(ok, nullptr);
    ASSERT_NE(cancel, nullptr);
    ASSERT_NE(memo, nullptr);
    ASSERT_TRUE(::IsWindowEnabled(ok));
    const std::vector<std::string> expected = ExpectedMemo();
    EXPECT_EQ(Lines(ControlText(memo)),
              (std::vector<std::string>(expected.begin(), expected.begin() + 7)));
    Click(window, ok);

    // The end state: the button gone and Cancel become Close.
    bool ended = false;
    for (int tick = 0; tick < 12000 && !ended; ++tick) {
        ASSERT_EQ(failedBox(), "");
        ended = !::IsWindowVisible(ok) && ControlText(cancel) == "Зачинити";
        if (!ended)
            ::Sleep(10);
    }
    ASSERT_TRUE(ended);
    EXPECT_EQ(Lines(ControlText(memo)), expected);

    Click(window, cancel);
    EXPECT_EQ(started.Wait(30000), 0);
    ExpectUpdated();
}

// The backup goes to a folder of the machine that serves the database: this one, through the
// test client as through the server.
TEST_P(Win32Update, UnattendedBacksTheDatabaseUpBeforeTheUpdate) {
    const std::string backups = JoinPath(root.Str(), "Резервні копії");
    ASSERT_TRUE(platform::CreateFolder(backups));
    const auto run = testing::RunCaptured(installer, "--unattended --backup \"" + backups + "\"",
                                          program, Environment());
    EXPECT_EQ(run.exitCode, 3) << run.out << run.err;
    std::vector<std::string> files;
    platform::CollectFiles(files, backups, "*.fbk");
    ASSERT_EQ(files.size(), 1u);
    const std::string stem(FileNameOf(database->Path()));
    EXPECT_EQ(
        std::string(FileNameOf(files.front())).rfind(stem.substr(0, stem.size() - 4) + "-253-", 0),
        0u)
        << files.front();
    EXPECT_GT(platform::FileSize(files.front()).value_or(0), 1000u);
    const auto lines = Lines(run.out);
    const auto backupLine =
        std::find(lines.begin(), lines.end(), "Резервна копія бази даних...[OK]");
    ASSERT_NE(backupLine, lines.end()) << run.out;
    EXPECT_EQ(*(backupLine + 1), files.front());
    ExpectUpdated();
}

// A rehearsal ends as the update would and leaves the database, the program folder and no
// copy behind.
TEST_P(Win32Update, UnattendedRehearsalChangesNothing) {
    const auto run =
        testing::RunCaptured(installer, "--unattended --rehearse", program, Environment());
    EXPECT_EQ(run.exitCode, 3) << run.out << run.err;
    const auto lines = Lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind("Репетиція оновлення: ", 0), 0u) << run.out;
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Видалення копії бази даних...[OK]"),
              lines.end())
        << run.out << run.err;
    EXPECT_EQ(database->QueryString("select first 1 data from versions order by update_date desc"),
              "253");
    EXPECT_EQ(database->QueryCount("select count(*) from rdb$relations where rdb$relation_name "
                                   "in ('T254', 'NORVANE$UPDATE_JOURNAL', 'NORVANE$UPDATE_LOCK')"),
              0);
    EXPECT_FALSE(platform::FileExists(JoinPath(program, "Norvanework.exe")));
    // The copy was beside its backup: in the work folder, or beside the database on a server.
    const std::string databaseFolder = database->Folder();
    for (const std::string& folder : {Work("rehearsal"), databaseFolder}) {
        std::vector<std::string> left;
        platform::CollectFiles(left, folder, "*.fbk");
        platform::CollectFiles(left, folder, "*.rehearsal.fdb");
        EXPECT_TRUE(left.empty()) << left.front();
    }
    EXPECT_TRUE(platform::FileExists(Work("rehearsal\\logs\\255\\255.02.sql.log")));
}

INSTANTIATE_TEST_SUITE_P(Folders, Win32Update, ::testing::ValuesIn(Layouts),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norvane
