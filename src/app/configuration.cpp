#include "app/configuration.h"

#include "base/text.h"
#include "platform/paths.h"
#include "platform/profile.h"

#include <charconv>

namespace norvane::app {

namespace {

constexpr std::string_view Section = "Common";
// The installer's own settings, which the product does not read.
constexpr std::string_view UpdateSection = "Update";
constexpr std::string_view DefaultDatabaseName = "norvane.fdb";

std::optional<std::int32_t> HexValue(std::string_view digits) {
    // Up to eight digits, wrapping into the signed range as the 32-bit reader does.
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    const char* end = digits.data() + digits.size();
    auto [ptr, ec] = std::from_chars(digits.data(), end, value, 16);
    if (ec != std::errc{} || ptr != end)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

} // namespace

std::int32_t IniIntegerValue(std::string_view text, std::int32_t defaultValue) {
    std::optional<std::int32_t> value;
    if (text.size() >= 3 && (text.starts_with("0x") || text.starts_with("0X")))
        value = HexValue(text.substr(2));
    else
        value = TryStrToInt32(text);
    return value.value_or(defaultValue);
}

void ReadConfiguration(ProcessValues& values) {
    values.PathBaseIB = platform::ReadProfileString(values.IniPath, Section, "PathBaseIB", "");
    values.NameServer = platform::ReadProfileString(values.IniPath, Section, "NameServer", "");
    values.TypeServer =
        IniIntegerValue(platform::ReadProfileString(values.IniPath, Section, "TypeServer", ""), 0);
    if (values.PathBaseIB.empty())
        values.PathBaseIB = JoinPath(values.ExeDir, DefaultDatabaseName);
    values.OneTransactionPerStatement =
        IniIntegerValue(platform::ReadProfileString(values.IniPath, UpdateSection,
                                                    "OneTransactionPerStatement", ""),
                        0) != 0;
    values.BackupFolder =
        platform::ReadProfileString(values.IniPath, UpdateSection, "BackupFolder", "");
    // What is no number of seconds, or a negative one, keeps the default rather than a wait
    // the administrator did not ask for.
    const std::int32_t lockWait = IniIntegerValue(
        platform::ReadProfileString(values.IniPath, UpdateSection, "LockWaitSeconds", ""),
        DefaultLockWaitSeconds);
    values.LockWaitSeconds = lockWait >= 0 ? lockWait : DefaultLockWaitSeconds;
}

} // namespace norvane::app
