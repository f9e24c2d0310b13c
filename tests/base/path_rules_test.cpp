#include "base/path_rules.h"

#include <gtest/gtest.h>

namespace norvane {
namespace {

struct JoinCase {
    const PathRules* rules;
    std::string_view folder;
    std::string_view name;
    std::string_view expected;
};

TEST(JoinPath, FollowsTheSeparatorRules) {
    const JoinCase cases[] = {
        {&WindowsPathRules, R"(D:\Prog)", "nrv.ini", R"(D:\Prog\nrv.ini)"},
        {&WindowsPathRules, R"(D:\Prog\)", "nrv.ini", R"(D:\Prog\nrv.ini)"},
        {&WindowsPathRules, "", "nrv.ini", "nrv.ini"},
        {&WindowsPathRules, R"(D:\Prog)", "", R"(D:\Prog)"},
        {&WindowsPathRules, "", "", ""},
        {&WindowsPathRules, "D:/tmp/", "up", R"(D:/tmp/\up)"},
        {&WindowsPathRules, R"(D:\)", "x.fdb", R"(D:\x.fdb)"},
        {&WindowsPathRules, R"(D:\a)", R"(\b)", R"(D:\a\\b)"},
        {&PosixPathRules, "/opt/prog", "nrv.ini", "/opt/prog/nrv.ini"},
        {&PosixPathRules, "/opt/prog/", "nrv.ini", "/opt/prog/nrv.ini"},
        {&PosixPathRules, "/", "nrv.ini", "/nrv.ini"},
        {&PosixPathRules, "", "up", "up"},
        {&PosixPathRules, "/tmp", "", "/tmp"},
        {&PosixPathRules, R"(C:\tmp\)", "up", R"(C:\tmp\/up)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JoinPath(c.folder, c.name, *c.rules), c.expected) << c.folder << " + " << c.name;
    }
}

struct FolderCase {
    const PathRules* rules;
    std::string_view executable;
    std::string_view expected;
};

TEST(ExecutableFolder, KeepsRootsAndDropsTheLastSeparator) {
    const FolderCase cases[] = {
        {&WindowsPathRules, R"(D:\Prog\x.exe)", R"(D:\Prog)"},
        {&WindowsPathRules, R"(D:\x.exe)", R"(D:\)"},
        {&WindowsPathRules, R"(\\srv\share\x.exe)", R"(\\srv\share)"},
        {&WindowsPathRules, R"(\\srv\x.exe)", R"(\\srv)"},
        {&WindowsPathRules, "D:x.exe", "D:"},
        {&WindowsPathRules, R"(\x.exe)", R"(\)"},
        {&WindowsPathRules, "x.exe", ""},
        {&WindowsPathRules, "D:/dir/x.exe", "D:"},
        {&PosixPathRules, "/opt/norvane/norvane-update", "/opt/norvane"},
        {&PosixPathRules, "/norvane-update", "/"},
        {&PosixPathRules, "//norvane-update", "//"},
        {&PosixPathRules, "norvane-update", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExecutableFolder(c.executable, *c.rules), c.expected) << c.executable;
}

TEST(FileNameOf, TakesTheTextAfterTheLastDelimiter) {
    EXPECT_EQ(FileNameOf(R"(C:\w\up\255.01.sql)", WindowsPathRules), "255.01.sql");
    EXPECT_EQ(FileNameOf("C:255.01.sql", WindowsPathRules), "255.01.sql");
    EXPECT_EQ(FileNameOf("/w/up/T1.F1.K1 5.blo", PosixPathRules), "T1.F1.K1 5.blo");
    EXPECT_EQ(FileNameOf(R"(a\b.sql)", PosixPathRules), R"(a\b.sql)");
    EXPECT_EQ(FileNameOf("plain", PosixPathRules), "plain");
}

} // namespace
} // namespace norvane
