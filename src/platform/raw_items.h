#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::platform {

/// The name of a raw-data item stored in the executable: a text, or an integer identifier.
struct RawItemName {
    std::string text;
    std::optional<std::uint16_t> id;
};

/// The names of the executable's raw-data items, in the platform's fixed order.
std::vector<RawItemName> EnumerateRawItems();

/// The bytes of the item of that name, in place (never copied); nothing when it is missing.
std::optional<std::span<const std::byte>> FindRawItem(std::string_view name);

} // namespace norvane::platform
