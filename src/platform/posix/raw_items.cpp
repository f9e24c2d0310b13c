#include "platform/raw_items.h"

#include "base/text.h"

// One row of the table that norvane_embed_packages and norvane_embed_items assemble into the
// executable. A row names its item by text, or by a non-zero identifier with no text. An
// executable that embeds nothing has no table: the weak references then stay null.
extern "C" {
struct NorvaneRawItemRow {
    const char* name;
    const std::byte* data;
    std::size_t size;
    std::size_t id;
};
extern const NorvaneRawItemRow norvane_raw_item_table[] __attribute__((weak));
extern const std::size_t norvane_raw_item_count __attribute__((weak));
}

namespace norvane::platform {

namespace {

std::span<const NorvaneRawItemRow> Table() {
    if (&norvane_raw_item_count == nullptr || norvane_raw_item_table == nullptr)
        return {};
    return {norvane_raw_item_table, norvane_raw_item_count};
}

} // namespace

std::vector<RawItemName> EnumerateRawItems() {
    std::vector<RawItemName> names;
    for (const NorvaneRawItemRow& row : Table()) {
        if (row.name != nullptr)
            names.push_back({row.name, std::nullopt});
        else
            names.push_back({{}, static_cast<std::uint16_t>(row.id)});
    }
    return names;
}

std::optional<std::span<const std::byte>> FindRawItem(std::string_view name) {
    // Names are looked up as Windows looks up resource names: ASCII case ignored.
    for (const NorvaneRawItemRow& row : Table()) {
        if (row.name != nullptr && SameTextAscii(row.name, name))
            return std::span<const std::byte>(row.data, row.size);
    }
    return std::nullopt;
}

} // namespace norvane::platform
