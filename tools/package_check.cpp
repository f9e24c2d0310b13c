// norvane-package-check: run when an installer is built, for every package it is to carry.
// Records the package's SHA-256, which the installer checks before it writes the package out,
// and refuses (exit 1, naming file and line) a package the installer would refuse or that
// could never bring the database to its number: a damaged archive, members that do not
// unpack to what their headers say, a script with a NUL byte or an unterminated last
// statement, a blob file name the loader refuses, a last script that does not insert the
// package's number into versions.
#include "app/package_check.h"
#include "base/sha256.h"
#include "base/text.h"
#include "package/rar_archive.h"
#include "package/unpacked_package.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace norvane;

constexpr const char* Usage =
    "usage: norvane-package-check [--digest-only] <number> <archive.rar> <digest-file>\n"
    "Writes the archive's SHA-256 to the digest file. Unless --digest-only, first unpacks the\n"
    "archive with the installer's archiver and checks it as the installer would.\n";

// A folder of its own that goes with the check.
class ScratchFolder {
public:
    ScratchFolder()
        : m_path(fs::temp_directory_path() /
                 ("norvane-package-check-" + std::to_string(std::random_device()()))) {
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string Str() const { return m_path.string(); }

private:
    fs::path m_path;
};

std::vector<std::string> Problems(std::int32_t number, const std::string& archive,
                                  const std::string& bytes) {
    std::vector<package::RarMember> members;
    try {
        members = package::ListRarArchive(std::as_bytes(std::span(bytes.data(), bytes.size())));
    } catch (const package::EDamagedArchive& error) {
        return {error.Message()};
    }
    const std::string archiver = platform::FindArchiver(
        ExecutableFolder(platform::ExecutablePath(), platform::NativePathRules()));
    if (archiver.empty())
        return {"no archiver to unpack it with (rar beside this tool, or unrar on PATH)"};
    ScratchFolder folder;
    const auto process = platform::ArchiverProcess::Start(archiver, archive, folder.Str());
    if (!process)
        return {"the archiver " + archiver + " cannot be started"};
    if (const int code = process->Wait([] {}); code != 0)
        return {"the archiver " + archiver + " ended with code " + std::to_string(code)};
    if (const auto problem = package::UnpackedPackageProblem(members, folder.Str()))
        return {*problem};
    std::vector<std::string> problems = app::PackageContentProblems(number, folder.Str());
    return problems;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const bool digestOnly = !arguments.empty() && arguments.front() == "--digest-only";
    if (digestOnly)
        arguments.erase(arguments.begin());
    const std::optional<std::int32_t> number =
        arguments.size() == 3 ? TryStrToInt32(arguments[0]) : std::nullopt;
    if (!number) {
        std::cerr << Usage;
        return 2;
    }
    const std::string& archive = arguments[1];
    const std::string& digestFile = arguments[2];
    try {
        const std::string bytes = platform::ReadWholeFile(archive);
        if (!digestOnly) {
            if (const auto problems = Problems(*number, archive, bytes); !problems.empty()) {
                for (const std::string& problem : problems)
                    std::cerr << archive << ": package " << *number << ": " << problem << "\n";
                return 1;
            }
        }
        const std::string digest = Sha256Hex(bytes);
        platform::WriteNewFile(digestFile, std::as_bytes(std::span(digest.data(), digest.size())));
    } catch (const std::exception& error) {
        std::cerr << "norvane-package-check: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
