#include "package/unpacked_package.h"

#include "base/crc32.h"
#include "base/text.h"
#include "package/work_folder.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <set>

namespace norvane::package {

namespace {

// A member's place below the folder it is unpacked in, with this system's separator.
std::string NativeName(std::string name) {
    const char separator = platform::NativePathRules().separator;
    for (char& c : name) {
        if (c == '\\')
            c = separator;
    }
    return name;
}

// The same text for two names of one file.
std::string FileKey(const std::string& path) {
    return platform::NativePathRules().namesIgnoreCase ? AsciiUpper(path) : path;
}

std::optional<std::string> MemberProblem(const RarMember& member, const std::string& path) {
    if (member.folder) {
        if (platform::FolderExists(path))
            return std::nullopt;
        return "каталог " + member.name + " не розпаковано";
    }
    if (!platform::FileExists(path))
        return "файл " + member.name + " не розпаковано";
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    try {
        platform::ReadFileInSteps(path, [&](std::string_view bytes) {
            size += bytes.size();
            crc = Crc32(bytes, crc);
        });
    } catch (const EStreamError& error) {
        return "файл " + member.name + " не прочитано: " + std::string(error.what());
    }
    if (size != member.unpackedSize)
        return "файл " + member.name + ": розмір " + std::to_string(size) + " байт, а не " +
               std::to_string(member.unpackedSize);
    if (crc != member.crc)
        return "файл " + member.name + ": контрольна сума CRC-32 не збігається";
    return std::nullopt;
}

} // namespace

std::optional<std::string> UnpackedPackageProblem(const std::vector<RarMember>& members,
                                                  const std::string& folder) {
    std::set<std::string> listed;
    for (const RarMember& member : members) {
        const std::string path = JoinPath(folder, NativeName(member.name));
        if (auto problem = MemberProblem(member, path))
            return problem;
        listed.insert(FileKey(path));
    }
    for (const std::string& file : PackagePartFiles(folder)) {
        if (!listed.contains(FileKey(file)))
            return "файл " + file + " не належить пакету";
    }
    return std::nullopt;
}

} // namespace norvane::package
