#include "package/work_folder.h"

#include "platform/files.h"
#include "platform/paths.h"

namespace norvane::package {

namespace {

// The entries the install takes from an unpacked package: what it runs, loads and copies.
struct PackagePart {
    std::string place;
    std::string_view mask;
};

std::vector<PackagePart> PackageParts(const std::string& folder) {
    return {{JoinPath(folder, "up"), "*.sql"},
            {JoinPath(folder, "up"), "*.blo"},
            {JoinPath(folder, "Report"), "*.fr3"},
            {folder, "*.exe"}};
}

} // namespace

void CleanWorkFolder(const std::string& folder) {
    // The lock file stays: deleting it would let a second installer lock a new one.
    const std::string lockFile = JoinPath(folder, WorkFolderLockName);
    // A link in place of a subfolder goes before anything is listed: the clean-up would
    // delete the files of wherever it leads, and the archiver unpack there.
    for (const char* subfolder : {"up", "Report"})
        platform::RemoveLink(JoinPath(folder, subfolder));
    for (const std::string& place : {JoinPath(folder, "up"), JoinPath(folder, "Report"), folder}) {
        std::vector<std::string> names;
        platform::CollectFiles(names, place, "*.*");
        // Folders are listed too; deleting them fails, and every failure is let go.
        for (const std::string& name : names) {
            if (name != lockFile)
                platform::DeleteFile(name);
        }
    }
}

std::vector<std::string> PackagePartFiles(const std::string& folder) {
    std::vector<std::string> files;
    for (const PackagePart& part : PackageParts(folder))
        platform::CollectFiles(files, part.place, part.mask);
    return files;
}

std::vector<std::string> WorkFolderLeftovers(const std::string& folder) {
    return PackagePartFiles(folder);
}

} // namespace norvane::package
