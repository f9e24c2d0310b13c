#include "package/program_files.h"

#include "base/crc32.h"
#include "base/exceptions.h"
#include "base/text.h"
#include "base/wildcard.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/paths.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string_view>
#include <vector>

namespace norvane::package {

namespace {

// The entry's path below the work folder, without the separator that follows the folder.
std::string_view RelativePath(std::string_view entry, std::string_view folder) {
    std::string_view relative = entry.substr(std::min(folder.size(), entry.size()));
    if (!relative.empty() && relative.front() == platform::NativePathRules().separator)
        relative.remove_prefix(1);
    return relative;
}

constexpr std::uint8_t StoredMethod = 0x30;
constexpr std::string_view ProgramMask = "*.exe";
constexpr std::string_view TemplateMask = "*.fr3";
constexpr std::string_view TemplateFolder = "Report";

// Where the install copies a member to, as ListProgramFiles finds it after the unpack: a
// program at the archive's top, a template in its Report folder; nothing for the rest.
std::optional<std::string> DestinationOf(const RarMember& member,
                                         const std::string& programFolder) {
    if (member.folder)
        return std::nullopt;
    const std::string_view name = member.name;
    const std::size_t separator = name.find('\\');
    if (separator == std::string_view::npos)
        return MatchesMask(name, ProgramMask) ? std::optional(JoinPath(programFolder, name))
                                              : std::nullopt;
    const std::string_view folder = name.substr(0, separator);
    const std::string_view rest = name.substr(separator + 1);
    const bool templateFolder = platform::NativePathRules().namesIgnoreCase
                                    ? AsciiUpper(folder) == AsciiUpper(TemplateFolder)
                                    : folder == TemplateFolder;
    if (!templateFolder || rest.find('\\') != std::string_view::npos ||
        !MatchesMask(rest, TemplateMask))
        return std::nullopt;
    return JoinPath(JoinPath(programFolder, TemplateFolder), rest);
}

bool SameBytes(std::span<const std::byte> archive, const RarMember& member,
               const std::string& path) {
    const auto stored = archive.subspan(member.dataOffset, member.packedSize);
    std::uint64_t at = 0;
    bool same = true;
    platform::ReadFileInSteps(path, [&](std::string_view bytes) {
        if (!same || at + bytes.size() > stored.size()) {
            same = false;
            return;
        }
        same = std::memcmp(stored.data() + at, bytes.data(), bytes.size()) == 0;
        at += bytes.size();
    });
    return same && at == stored.size();
}

bool SameCrc(const RarMember& member, const std::string& path) {
    std::uint32_t crc = 0;
    platform::ReadFileInSteps(path, [&](std::string_view bytes) { crc = Crc32(bytes, crc); });
    return crc == member.crc;
}

bool SameAsMember(std::span<const std::byte> archive, const RarMember& member,
                  const std::string& path) {
    if (platform::FileSize(path) != member.unpackedSize)
        return false;
    try {
        if (member.method == StoredMethod && member.packedSize == member.unpackedSize)
            return SameBytes(archive, member, path);
        return SameCrc(member, path);
    } catch (const EStreamError&) {
        // What cannot be read is copied over, as the install would copy it anyway.
        return false;
    }
}

} // namespace

std::vector<std::string> ProgramFilesDiffering(const CheckedPackage& package,
                                               const std::string& programFolder) {
    std::vector<std::string> differing;
    for (const RarMember& member : package.members) {
        const auto destination = DestinationOf(member, programFolder);
        if (destination && !SameAsMember(package.bytes, member, *destination))
            differing.push_back(*destination);
    }
    return differing;
}

std::vector<ProgramFile> ListProgramFiles(const std::string& programFolder,
                                          const std::string& folder) {
    std::vector<std::string> sources;
    platform::CollectFiles(sources, folder, "*.exe");
    platform::CollectFiles(sources, JoinPath(folder, "Report"), "*.fr3");
    std::vector<ProgramFile> files;
    files.reserve(sources.size());
    for (std::string& source : sources) {
        std::string destination = JoinPath(programFolder, RelativePath(source, folder));
        files.push_back({std::move(source), std::move(destination)});
    }
    return files;
}

void CreateDestinationFolders(const std::vector<ProgramFile>& files) {
    for (const ProgramFile& file : files) {
        const std::string folder = ExecutableFolder(file.destination, platform::NativePathRules());
        // A failure shows in the check that follows, naming the folder it would be made in.
        if (!platform::FolderExists(folder))
            platform::CreateSharedFolder(folder);
    }
}

std::optional<std::string> ProgramFilesProblem(const std::vector<ProgramFile>& files) {
    std::set<std::string> checkedFolders;
    for (const ProgramFile& file : files) {
        const std::string folder = ExecutableFolder(file.destination, platform::NativePathRules());
        if (checkedFolders.insert(folder).second) {
            // A rehearsal makes no folder; the run it stands for would make this one.
            const std::string writable =
                platform::FolderExists(folder)
                    ? folder
                    : ExecutableFolder(folder, platform::NativePathRules());
            if (const auto error = platform::CheckFolderWritable(writable))
                return "каталог " + writable + " недоступний для запису: " + error->message;
        }
        if (const auto error = platform::CheckReplaceable(file.destination))
            return "файл " + file.destination + " неможливо замінити: " + error->message;
    }
    return std::nullopt;
}

ProgramFilesOutcome InstallProgramFiles(ui::Window& window, const std::vector<ProgramFile>& files) {
    ui::ProgressBar bar(window);
    ui::Label fileLabel(window, ui::Control::lFile);
    ui::Label timeLabel(window, ui::Control::lUpdateTime);
    bar.SetPosition(0);
    bar.SetMax(static_cast<int>(files.size()));
    timeLabel.SetVisible(true);

    ProgramFilesOutcome outcome;
    outcome.entries = static_cast<int>(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const ProgramFile& file = files[i];
        const std::string name(FileNameOf(file.source));
        window.AddStatus(name + "...");
        fileLabel.SetFileCaption(name, i + 1, files.size());
        if (const auto error = platform::CopyFileReplacing(file.source, file.destination)) {
            window.AddError("error (" + std::to_string(error->code) + ") " + error->message);
            ++outcome.failed;
        } else {
            window.MarkStatus("[OK]");
            outcome.copied.push_back(file.destination);
        }
        bar.Advance();
        window.PumpMessages();
        platform::ThrowIfInterrupted();
    }
    timeLabel.SetVisible(false);
    return outcome;
}

} // namespace norvane::package
