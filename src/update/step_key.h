#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::update {

/// What identifies a step of an item (a statement of a script, a blob file) in the journal,
/// whatever the item around it: its own text's digest (the first half of its SHA-256) and
/// which occurrence of that text in the item it is. A re-issued package matches an applied
/// statement by it even when statements were added, edited or removed around it.
struct StepKey {
    std::array<std::uint8_t, 16> digest{};
    std::uint32_t occurrence = 0;

    auto operator<=>(const StepKey&) const = default;
};

/// Gives each step of an item its key, in the item's order.
class StepKeys {
public:
    StepKey Next(std::string_view text);

private:
    std::map<std::array<std::uint8_t, 16>, std::uint32_t> m_seen;
};

/// Keys as the journal stores them: 20 bytes each.
std::string PackKeys(std::span<const StepKey> keys);
/// The keys of a stored record; a record whose length is no whole number of keys is cut to
/// the whole ones.
std::vector<StepKey> UnpackKeys(std::string_view bytes);

} // namespace norvane::update
