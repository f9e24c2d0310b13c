// The Win32 platform layer against the real system calls (under Wine in the test run).

#include "base/exceptions.h"
#include "db/client_library.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/raw_items.h"
#include "platform/win32/wide.h"
#include "support/expect_throw.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace norvane {
namespace {

using platform::win32::Wide;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

std::span<const std::byte> Bytes(std::string_view text) {
    return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

// ---- paths ----

TEST(Win32Paths, JoinPathPutsABackslashBetween) {
    const struct {
        std::string_view folder, name, expected;
    } cases[] = {
        {"D:\\Prog", "nrv.ini", "D:\\Prog\\nrv.ini"},
        {"D:\\Prog\\", "nrv.ini", "D:\\Prog\\nrv.ini"},
        {"D:\\", "nrv.ini", "D:\\nrv.ini"},
        {"\\\\srv\\share", "nrv.ini", "\\\\srv\\share\\nrv.ini"},
        {"D:/tmp/", "up", "D:/tmp/\\up"},
        {"", "nrv.ini", "nrv.ini"},
        {"D:\\Prog", "", "D:\\Prog"},
        {"", "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JoinPath(c.folder, c.name), c.expected) << c.folder << " + " << c.name;
}

TEST(Win32Paths, ExecutableFolderKeepsTheRootOfADriveOrShare) {
    const PathRules& rules = platform::NativePathRules();
    EXPECT_EQ(ExecutableFolder("D:\\Prog\\x.exe", rules), "D:\\Prog");
    EXPECT_EQ(ExecutableFolder("D:\\x.exe", rules), "D:\\");
    EXPECT_EQ(ExecutableFolder("\\\\srv\\share\\x.exe", rules), "\\\\srv\\share");
    EXPECT_EQ(ExecutableFolder("D:x.exe", rules), "D:");
    EXPECT_EQ(FileNameOf("D:\\Prog\\Norvanework.exe"), "Norvanework.exe");
}

TEST(Win32Paths, ExecutableAndTemporaryFolderAreRealWindowsPaths) {
    const std::string exe = platform::ExecutablePath();
    EXPECT_TRUE(platform::FileExists(exe));
    EXPECT_EQ(FileNameOf(exe), "test_win32_platform.exe");
    EXPECT_EQ(exe[1], ':');
    const std::string temp = platform::TempFolder();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), '\\');
    EXPECT_TRUE(platform::FolderExists(temp));
}

// ---- profile ----

TEST(Win32Profile, ReadsValuesByTheProfileRules) {
    TempFolder folder;
    const std::string ini = folder / "nrv.ini";
    WriteFile(ini, "[Other]\r\nPathBaseIB=wrong\r\n"
                   "[common]\r\n"
                   "pathbaseib =  \"D:\\Data\\norvane.fdb\"  \r\n"
                   "NameServer=   srv1   \r\n"
                   "TypeServer=0x10\r\n"
                   "Empty=\r\n");
    EXPECT_EQ(platform::ReadProfileString(ini, "Common", "PathBaseIB", ""),
              "D:\\Data\\norvane.fdb");
    EXPECT_EQ(platform::ReadProfileString(ini, "COMMON", "NameServer", ""), "srv1");
    EXPECT_EQ(platform::ReadProfileString(ini, "Common", "TypeServer", "0"), "0x10");
    EXPECT_EQ(platform::ReadProfileString(ini, "Common", "Empty", "default"), "");
    EXPECT_EQ(platform::ReadProfileString(ini, "Common", "Missing", "default"), "default");
    EXPECT_EQ(platform::ReadProfileString(ini, "Nowhere", "PathBaseIB", "x"), "x");
    EXPECT_EQ(platform::ReadProfileString(folder / "none.ini", "Common", "PathBaseIB", ""), "");
}

TEST(Win32Profile, LongValuesStopAt2047CharactersAndUnicodeSurvives) {
    TempFolder folder;
    const std::string ini = JoinPath(folder.Str(), "Налаштування.ini");
    // A UTF-16 file with its byte order mark, as Windows writes ini files in Unicode.
    std::wstring text = L"\xFEFF[Common]\r\nPathBaseIB=D:\\Дані\\база.fdb\r\nLong=" +
                        std::wstring(3000, L'x') + L"\r\n";
    WriteFile(folder.Path() / L"Налаштування.ini",
              std::string_view(reinterpret_cast<const char*>(text.data()),
                               text.size() * sizeof(wchar_t)));
    EXPECT_EQ(platform::ReadProfileString(ini, "Common", "PathBaseIB", ""), "D:\\Дані\\база.fdb");
    EXPECT_EQ(platform::ReadProfileString(ini, "Common", "Long", "").size(), 2047u);
}

// ---- files ----

std::vector<std::string> Names(const std::vector<platform::DirEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry.name + (entry.isFolder ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Win32Files, FindEntriesMatchesLongNamesWithoutCase) {
    TempFolder folder;
    for (const char* name : {"a.sql", "B.SQL", "c.sqlbak", "README", "Звіт.fr3"})
        WriteFile(folder.Path() / std::filesystem::u8path(name), "x");
    std::filesystem::create_directory(folder.Path() / "up");
    const std::wstring hidden = (folder.Path() / "h.sql").wstring();
    WriteFile(hidden, "x");
    ::SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

    EXPECT_EQ(Names(platform::FindEntries(folder.Str(), "*.sql")),
              (std::vector<std::string>{"B.SQL", "a.sql", "h.sql"}));
    EXPECT_EQ(Names(platform::FindEntries(folder.Str(), "*.*")),
              (std::vector<std::string>{"B.SQL", "README", "a.sql", "c.sqlbak", "h.sql", "up/",
                                        "Звіт.fr3"}));
    EXPECT_EQ(Names(platform::FindEntries(folder.Str(), "*.FR3")),
              (std::vector<std::string>{"Звіт.fr3"}));
    EXPECT_TRUE(platform::FindEntries(folder / "missing", "*.*").empty());
}

TEST(Win32Files, CopyReplacesTheDestinationAndLeavesNoTemporaryFile) {
    TempFolder folder;
    WriteFile(folder / "new.exe", "new");
    WriteFile(folder.Path() / L"Програма" / L"old.exe", "a much longer old program");
    const std::string destination = JoinPath(JoinPath(folder.Str(), "Програма"), "old.exe");
    EXPECT_FALSE(platform::CopyFileReplacing(folder / "new.exe", destination).has_value());
    EXPECT_EQ(ReadFile(folder.Path() / L"Програма" / L"old.exe"), "new");
    EXPECT_EQ(Names(platform::FindEntries(JoinPath(folder.Str(), "Програма"), "*.*")),
              (std::vector<std::string>{"old.exe"}));
}

TEST(Win32Files, CopyFailuresCarryTheSystemCodeAndText) {
    TempFolder folder;
    WriteFile(folder / "a.fr3", "template");
    const struct {
        std::string source, destination;
        std::uint32_t code;
    } cases[] = {
        {folder / "a.fr3", JoinPath(folder / "Report", "a.fr3"), ERROR_PATH_NOT_FOUND},
        {folder / "missing.fr3", folder / "b.fr3", ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        const auto error = platform::CopyFileReplacing(c.source, c.destination);
        ASSERT_TRUE(error.has_value()) << c.destination;
        EXPECT_EQ(error->code, c.code);
        EXPECT_EQ(error->message, platform::SystemErrorText(c.code));
    }
}

TEST(Win32Files, ReadOnlyDestinationIsNotReplaced) {
    TempFolder folder;
    WriteFile(folder / "new.exe", "new");
    WriteFile(folder / "held.exe", "old");
    const std::wstring held = (folder.Path() / "held.exe").wstring();
    ::SetFileAttributesW(held.c_str(), FILE_ATTRIBUTE_READONLY);
    const auto error = platform::CopyFileReplacing(folder / "new.exe", folder / "held.exe");
    ::SetFileAttributesW(held.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadFile(folder / "held.exe"), "old");
    EXPECT_EQ(platform::FindEntries(folder.Str(), "*.~*").size(), 0u);
}

TEST(Win32Files, SystemErrorTextHasNoTrailingFullStopOrLineBreak) {
    for (std::uint32_t code : {2u, 3u, 5u, 32u}) {
        const std::string text = platform::SystemErrorText(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_NE(text.back(), '.') << text;
        EXPECT_GT(static_cast<unsigned char>(text.back()), ' ') << code;
        EXPECT_EQ(text.find('\n'), std::string::npos) << text;
    }
}

TEST(Win32Files, WriteNewFileReplacesCompletelyAndNamesTheFileOnFailure) {
    TempFolder folder;
    const std::string path = JoinPath(folder.Str(), "255.rar");
    platform::WriteNewFile(path, Bytes("a longer first package"));
    platform::WriteNewFile(path, Bytes("short"));
    EXPECT_EQ(platform::ReadWholeFile(path), "short");

    const std::string missing = JoinPath(folder / "nrv7.nvx", "255.rar");
    EXPECT_THROW_MSG(platform::WriteNewFile(missing, Bytes("x")), EFCreateError,
                     "Cannot create file \"" + missing + "\". " +
                         platform::SystemErrorText(ERROR_PATH_NOT_FOUND));
    EXPECT_THROW(platform::ReadWholeFile(folder / "none"), EFOpenError);
}

TEST(Win32Files, AppendDeleteAndMove) {
    TempFolder folder;
    const std::string log = JoinPath(folder.Str(), "255.01.sql.log");
    EXPECT_TRUE(platform::AppendToFile(log, "first\r\n"));
    EXPECT_TRUE(platform::AppendToFile(log, "second\r\n"));
    EXPECT_EQ(platform::ReadWholeFile(log), "first\r\nsecond\r\n");
    EXPECT_EQ(platform::FileSize(log), 15u);
    EXPECT_FALSE(platform::AppendToFile(JoinPath(folder / "none", "x.log"), "x"));

    WriteFile(folder / "a.sql", "a");
    WriteFile(folder / "a.~sql", "old");
    // An existing target stays: the move fails and both files are kept.
    EXPECT_FALSE(platform::MoveFile(folder / "a.sql", folder / "a.~sql"));
    EXPECT_EQ(ReadFile(folder / "a.~sql"), "old");
    EXPECT_TRUE(platform::DeleteFile(folder / "a.~sql"));
    EXPECT_TRUE(platform::MoveFile(folder / "a.sql", folder / "a.~sql"));
    EXPECT_FALSE(platform::FileExists(folder / "a.sql"));

    const std::string sub = JoinPath(folder.Str(), "Звіти");
    EXPECT_TRUE(platform::CreateFolder(sub));
    EXPECT_TRUE(platform::FolderExists(sub));
    EXPECT_FALSE(platform::FileExists(sub));
    EXPECT_EQ(platform::FileSize(sub), std::nullopt);
    EXPECT_EQ(platform::FileSize(JoinPath(sub, "none")), std::nullopt);
    EXPECT_FALSE(platform::DeleteFile(sub));
    EXPECT_FALSE(platform::UnsafeFolderReason(sub).has_value());
}

TEST(Win32Files, CompareTextIgnoresCaseInTheUserLocale) {
    const struct {
        std::string_view a, b;
        int sign;
    } cases[] = {
        {"a", "B", -1},
        {"B", "a", 1},
        {"Report", "REPORT", 0},
        {"x.EXE", "x.exe", 0},
        {"абв", "АБВ", 0},
        {"а", "Б", -1},
        {"255.01.sql", "255.02.sql", -1},
        {"w\\Norvanework.exe", "w\\Report\\a.fr3", -1},
    };
    for (const auto& c : cases) {
        const int result = platform::CompareTextUserLocale(c.a, c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " vs " << c.b;
    }
}

// ---- raw items (this executable carries 254_RAR, 255_RAR, TFORM1 and the identifier 7) ----

TEST(Win32RawItems, ListsNamesAndIdentifiers) {
    std::vector<std::string> names;
    std::vector<std::uint16_t> ids;
    for (const auto& item : platform::EnumerateRawItems()) {
        if (item.id)
            ids.push_back(*item.id);
        else
            names.push_back(item.text);
    }
    // The resource directory keeps names in order, identifiers after them.
    EXPECT_EQ(names, (std::vector<std::string>{"254_RAR", "254_SHA256", "255_RAR", "255_SHA256",
                                               "TFORM1"}));
    EXPECT_EQ(ids, (std::vector<std::uint16_t>{7}));
}

TEST(Win32RawItems, FindGivesTheExactBytes) {
    const auto form = platform::FindRawItem("TFORM1");
    ASSERT_TRUE(form.has_value());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(form->data()), form->size()),
              "object Form1: TForm1\nend\n");
    const auto package = platform::FindRawItem("255_RAR");
    ASSERT_TRUE(package.has_value());
    ASSERT_GE(package->size(), 7u);
    EXPECT_EQ(std::memcmp(package->data(), "Rar!\x1a\x07\x00", 7), 0);
    EXPECT_FALSE(platform::FindRawItem("256_RAR").has_value());
    EXPECT_FALSE(platform::FindRawItem("#7").has_value());
    EXPECT_FALSE(platform::FindRawItem("").has_value());
}

// ---- the client library ----

TEST(Win32Library, LoadsFromTheCandidatesInOrder) {
    try {
        platform::SharedLibrary::Open({"D:\\nowhere\\fbclient.dll", "no-such-client.dll"},
                                      "the Firebird client library");
        FAIL() << "no error";
    } catch (const ELibraryError& error) {
        const std::string text = error.Message();
        EXPECT_EQ(
            text.rfind("Cannot load the Firebird client library D:\\nowhere\\fbclient.dll: ", 0),
            0u)
            << text;
        EXPECT_NE(text.find("; no-such-client.dll: "), std::string::npos) << text;
    }
    auto library =
        platform::SharedLibrary::Open({"no-such-client.dll", "kernel32.dll"}, "the test library");
    EXPECT_EQ(library.Name(), "kernel32.dll");
    EXPECT_NE(library.Symbol("GetTickCount"), nullptr);
    EXPECT_EQ(library.Symbol("NoSuchFunction"), nullptr);
}

// The system's own text for the other bitness says only "not a valid Win32 application".
TEST(Win32Library, ALibraryOfTheOtherBitnessNamesTheBuildThatLoadsIt) {
    TempFolder folder;
    const std::string client = JoinPath(folder.Str(), "fbclient.dll");
    ASSERT_FALSE(platform::CopyFileReplacing(NORVANE_OTHER_BITNESS_CLIENT, client));
    const std::string own = std::to_string(sizeof(void*) * 8);
    const std::string other = sizeof(void*) == 8 ? "32" : "64";
    EXPECT_THROW_MSG(platform::SharedLibrary::Open({client}, "the Firebird client library"),
                     ELibraryError,
                     "Cannot load the Firebird client library " + client + ": a " + other +
                         "-bit library, which this " + own + "-bit program cannot load: use the " +
                         other + "-bit norvane-update.exe");
}

TEST(Win32Library, FirebirdClientIsLookedForBesideTheInstallerFirst) {
    ::SetEnvironmentVariableW(L"NORVANE_FBCLIENT", nullptr);
    EXPECT_EQ(db::FirebirdClientCandidates("D:\\Upd"),
              (std::vector<std::string>{"D:\\Upd\\fbclient.dll", "fbclient.dll"}));
    ::SetEnvironmentVariableW(L"NORVANE_FBCLIENT", L"E:\\Firebird\\fbclient.dll");
    EXPECT_EQ(db::FirebirdClientCandidates("D:\\Upd"),
              (std::vector<std::string>{"E:\\Firebird\\fbclient.dll"}));
    ::SetEnvironmentVariableW(L"NORVANE_FBCLIENT", nullptr);
}

} // namespace
} // namespace norvane
