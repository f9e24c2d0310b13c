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
#include "package/rar4_format.h"
#include "package/rar_archive.h"
#include "package/unpacked_package.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
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

bool AllStored(const std::vector<package::RarMember>& members) {
    return std::all_of(members.begin(), members.end(), [](const package::RarMember& member) {
        return member.folder || member.method == rar4format::MethodStore;
    });
}

// Members stored as they are are taken from the archive here, whatever names the system's
// locale can hold; compressed ones need the archiver.
std::optional<std::string> Unpack(const std::string& archive, const std::string& bytes,
                                  const std::vector<package::RarMember>& members,
                                  const std::string& folder) {
    if (AllStored(members)) {
        for (const package::RarMember& member : members) {
            std::string relative = member.name;
            std::replace(relative.begin(), relative.end(), '\\', '/');
            const fs::path path =
                fs::path(folder) / fs::path(std::u8string(relative.begin(), relative.end()));
            if (member.folder) {
                fs::create_directories(path);
                continue;
            }
            fs::create_directories(path.parent_path());
            const std::string_view data =
                std::string_view(bytes).substr(static_cast<std::size_t>(member.dataOffset),
                                               static_cast<std::size_t>(member.packedSize));
            platform::WriteNewFile(path.string(),
                                   std::as_bytes(std::span(data.data(), data.size())));
        }
        return std::nullopt;
    }
    const std::string archiver = platform::FindArchiver(
        ExecutableFolder(platform::ExecutablePath(), platform::NativePathRules()));
    if (archiver.empty())
        return "no archiver to unpack it with (rar beside this tool, or unrar on PATH)";
    const auto process = platform::ArchiverProcess::Start(archiver, archive, folder);
    if (!process)
        return "the archiver " + archiver + " cannot be started";
    if (const int code = process->Wait([] {}); code != 0)
        return "the archiver " + archiver + " ended with code " + std::to_string(code);
    return std::nullopt;
}

std::vector<std::string> Problems(std::int32_t number, const std::string& archive,
                                  const std::string& bytes) {
    std::vector<package::RarMember> members;
    try {
        members = package::ListRarArchive(std::as_bytes(std::span(bytes.data(), bytes.size())));
    } catch (const package::EDamagedArchive& error) {
        return {error.Message()};
    }
    ScratchFolder folder;
    if (const auto problem = Unpack(archive, bytes, members, folder.Str()))
        return {*problem};
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
