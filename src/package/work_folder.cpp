#include "package/work_folder.h"

#include "platform/files.h"
#include "platform/paths.h"

#include <algorithm>

namespace norvane::package {

void CollectFiles(std::vector<std::string>& list, const std::string& folder,
                  std::string_view mask) {
    for (const auto& entry : platform::FindEntries(folder, mask))
        list.push_back(JoinPath(folder, entry.name));
    SortFileList(list);
}

void SortFileList(std::vector<std::string>& list) {
    std::stable_sort(list.begin(), list.end(), [](const std::string& a, const std::string& b) {
        return platform::CompareTextUserLocale(a, b) < 0;
    });
}

void CleanWorkFolder(const std::string& folder) {
    for (const std::string& place : {JoinPath(folder, "up"), JoinPath(folder, "Report"), folder}) {
        std::vector<std::string> names;
        CollectFiles(names, place, "*.*");
        // Folders are listed too; deleting them fails, and every failure is let go.
        for (const std::string& name : names)
            platform::DeleteFile(name);
    }
}

} // namespace norvane::package
