#pragma once

// The client's parameter blocks (attachment, service): a tag, a length and a value each.

#include "base/exceptions.h"

#include <string>
#include <string_view>

namespace norvane::db {

/// Appends a parameter of at most 255 bytes: tag, a length byte, the value. A longer one is
/// a fault of the caller, named by what.
inline void AppendShortParameter(std::string& block, char tag, std::string_view value,
                                 std::string_view what) {
    if (value.size() > 255)
        throw EMisuse(std::string(what) + " is longer than 255 bytes");
    block += tag;
    block += static_cast<char>(value.size());
    block += value;
}

} // namespace norvane::db
