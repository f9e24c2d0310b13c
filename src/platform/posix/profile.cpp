#include "platform/profile.h"

#include "base/text.h"

#include <fstream>
#include <optional>
#include <sstream>

namespace norvane::platform {

namespace {

// GetPrivateProfileString fills a buffer of 2048 characters, one of them the final NUL.
constexpr std::size_t MaxValueLength = 2047;

std::string_view Unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::optional<std::string> FindValue(std::istream& in, std::string_view section,
                                     std::string_view key) {
    bool inSection = false;
    std::string line;
    while (std::getline(in, line)) {
        std::string_view text = TrimControl(line);
        if (text.empty() || text.front() == ';')
            continue;
        if (text.front() == '[') {
            // Only the first section of a name is read, as Windows does: its end ends the
            // search.
            if (inSection)
                return std::nullopt;
            const auto close = text.find(']');
            const auto name = TrimControl(text.substr(
                1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            inSection = SameTextAscii(name, section);
            continue;
        }
        if (!inSection)
            continue;
        const auto equals = text.find('=');
        if (equals == std::string_view::npos)
            continue;
        if (SameTextAscii(TrimControl(text.substr(0, equals)), key))
            return std::string(Unquoted(TrimControl(text.substr(equals + 1))));
    }
    return std::nullopt;
}

} // namespace

std::string ReadProfileString(const std::string& iniPath, std::string_view section,
                              std::string_view key, std::string_view defaultValue) {
    std::ifstream file(iniPath, std::ios::binary);
    std::string value(defaultValue);
    if (file) {
        std::stringstream content;
        content << file.rdbuf();
        std::string text = content.str();
        if (text.starts_with("\xEF\xBB\xBF"))
            text.erase(0, 3);
        std::istringstream lines(text);
        if (auto found = FindValue(lines, section, key))
            value = std::move(*found);
    }
    if (value.size() > MaxValueLength)
        value.resize(MaxValueLength);
    return value;
}

} // namespace norvane::platform
