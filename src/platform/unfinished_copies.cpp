#include "platform/files.h"
#include "platform/paths.h"

namespace norvane::platform {

void RemoveUnfinishedCopies(const std::string& folder) {
    for (const DirEntry& entry : FindEntries(folder, ".*.norvane-copy*")) {
        if (!entry.isFolder)
            DeleteFile(JoinPath(folder, entry.name));
    }
}

} // namespace norvane::platform
