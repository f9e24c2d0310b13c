#include "platform/files.h"
#include "platform/paths.h"

#include <algorithm>

namespace norvane::platform {

void CollectFiles(std::vector<std::string>& list, const std::string& folder,
                  std::string_view mask) {
    for (const DirEntry& entry : FindEntries(folder, mask))
        list.push_back(JoinPath(folder, entry.name));
    SortFileList(list);
}

void SortFileList(std::vector<std::string>& list) {
    std::stable_sort(list.begin(), list.end(), [](const std::string& a, const std::string& b) {
        return CompareTextUserLocale(a, b) < 0;
    });
}

} // namespace norvane::platform
