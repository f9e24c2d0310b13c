#include "package/unpacked_package.h"

#include "package/rar_archive.h"
#include "rar4/rar4_writer.h"
#include "support/as_nobody.h"
#include "support/socket_file.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

namespace norvane::package {
namespace {

namespace fs = std::filesystem;
using testing::MakeSocket;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

const std::string Script = "INSERT INTO versions (data) VALUES (255);\r\n";
const std::string Program = "program 255\n";

// The members of package 255 as the project's writer lists them, and a work folder where the
// archiver unpacked every one of them.
struct Unpacked {
    TempFolder temp;
    std::vector<RarMember> members;
    fs::path work = temp.Path() / "work";

    Unpacked() {
        const auto archive = temp.Path() / "255.rar";
        {
            rar4::ArchiveWriter writer(archive);
            writer.AddFolder("up", 0);
            writer.AddFile("up/255.01.sql", Script, 0);
            writer.AddFile("Norvanework.exe", Program, 0);
            writer.Finish();
        }
        const std::string bytes = ReadFile(archive);
        members = ListRarArchive(std::as_bytes(std::span(bytes.data(), bytes.size())));
        WriteFile(work / "up" / "255.01.sql", Script);
        WriteFile(work / "Norvanework.exe", Program);
    }

    std::optional<std::string> Problem() const {
        return UnpackedPackageProblem(members, work.string());
    }
};

TEST(UnpackedPackageProblem, AWholeUnpackHasNone) {
    Unpacked unpacked;
    EXPECT_EQ(unpacked.Problem(), std::nullopt);
    // What the install takes no part of may lie beside it.
    WriteFile(unpacked.work / "rar.log", "log");
    WriteFile(unpacked.work / "up" / "notes.txt", "notes");
    EXPECT_EQ(unpacked.Problem(), std::nullopt);
}

struct Fault {
    const char* what;
    std::function<void(const fs::path& work)> make;
    std::string problem; // the work folder written as "<work>"
};

TEST(UnpackedPackageProblem, NamesTheFirstMemberTheUnpackGotWrong) {
    const Fault faults[] = {
        {"a folder not made", [](const fs::path& w) { fs::remove_all(w / "up"); },
         "каталог up не розпаковано"},
        {"a file in place of a folder",
         [](const fs::path& w) {
             fs::remove_all(w / "up");
             WriteFile(w / "up", "x");
         },
         "каталог up не розпаковано"},
        {"a file not made", [](const fs::path& w) { fs::remove(w / "Norvanework.exe"); },
         "файл Norvanework.exe не розпаковано"},
        {"a folder in place of a file",
         [](const fs::path& w) {
             fs::remove(w / "Norvanework.exe");
             fs::create_directory(w / "Norvanework.exe");
         },
         "файл Norvanework.exe не розпаковано"},
        {"a file cut short", [](const fs::path& w) { WriteFile(w / "Norvanework.exe", "prog"); },
         "файл Norvanework.exe: розмір 4 байт, а не 12"},
        {"a file of the right size and other bytes",
         [](const fs::path& w) { WriteFile(w / "up" / "255.01.sql", "x" + Script.substr(1)); },
         "файл up\\255.01.sql: контрольна сума CRC-32 не збігається"},
        {"a file that cannot be opened",
         [](const fs::path& w) {
             fs::remove(w / "Norvanework.exe");
             MakeSocket(w / "Norvanework.exe");
         },
         "файл Norvanework.exe не прочитано: Cannot open file \"<work>/Norvanework.exe\". No "
         "such device or address"},
        {"a script the package does not hold",
         [](const fs::path& w) { WriteFile(w / "up" / "254.01.sql", "x"); },
         "файл <work>/up/254.01.sql не належить пакету"},
        {"a template the package does not hold",
         [](const fs::path& w) { WriteFile(w / "Report" / "a.fr3", "x"); },
         "файл <work>/Report/a.fr3 не належить пакету"},
        {"a program whose name differs in case",
         [](const fs::path& w) { WriteFile(w / "NORVANEWORK.EXE", Program); },
         "файл <work>/NORVANEWORK.EXE не належить пакету"},
    };
    for (const Fault& fault : faults) {
        Unpacked unpacked;
        fault.make(unpacked.work);
        std::string expected = fault.problem;
        if (const auto at = expected.find("<work>"); at != std::string::npos)
            expected.replace(at, 6, unpacked.work.string());
        EXPECT_EQ(unpacked.Problem(), expected) << fault.what;
    }
}

TEST(UnpackedPackageProblem, AFileThatCannotBeReadIsNamedWithTheReason) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "acting as another user needs root";
    Unpacked unpacked;
    fs::permissions(unpacked.temp.Path(), fs::perms(0755));
    fs::permissions(unpacked.work / "Norvanework.exe", fs::perms::none);
    const std::string path = (unpacked.work / "Norvanework.exe").string();
    const std::string expected =
        "файл Norvanework.exe не прочитано: Cannot open file \"" + path + "\". Permission denied";
    const int result = testing::AsNobody([&] { return unpacked.Problem() == expected ? 0 : 1; });
    EXPECT_EQ(result, 0) << "expected: " << expected;
}

} // namespace
} // namespace norvane::package
