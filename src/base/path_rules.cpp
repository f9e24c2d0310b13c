#include "base/path_rules.h"

namespace norvane {

std::string JoinPath(std::string_view folder, std::string_view name, const PathRules& rules) {
    if (name.empty())
        return std::string(folder);
    if (folder.empty())
        return std::string(name);
    std::string result(folder);
    if (result.back() != rules.separator)
        result += rules.separator;
    result.append(name);
    return result;
}

std::string ExecutableFolder(std::string_view executablePath, const PathRules& rules) {
    const auto last = executablePath.find_last_of(rules.folderDelimiters);
    if (last == std::string_view::npos)
        return {};
    std::string folder(executablePath.substr(0, last + 1));
    if (folder.size() > 1 && folder.back() == rules.separator) {
        const char before = folder[folder.size() - 2];
        if (rules.folderDelimiters.find(before) == std::string_view::npos)
            folder.pop_back();
    }
    return folder;
}

std::string_view FileNameOf(std::string_view path, const PathRules& rules) {
    const auto last = path.find_last_of(rules.folderDelimiters);
    return last == std::string_view::npos ? path : path.substr(last + 1);
}

} // namespace norvane
