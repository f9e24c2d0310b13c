#pragma once

#include "base/exceptions.h"

#include <string>
#include <string_view>
#include <vector>

namespace norvane::db {

/// The last line of an error text whose status vector was too short for the server's message.
inline constexpr std::string_view CutShortNote =
    "(the server's message was longer than the client's status vector holds)";

/// A failure reported by the Firebird client. what() is the client's full status text, one
/// line a message, joined by LF.
class EFirebirdError : public Exception {
public:
    EFirebirdError(const std::string& message, long sqlCode, std::vector<long> gdsCodes)
        : Exception(message), m_sqlCode(sqlCode), m_gdsCodes(std::move(gdsCodes)) {}

    /// The SQLCODE the client derives from the status (isc_sqlcode).
    long SqlCode() const { return m_sqlCode; }
    /// The first error code of the status vector (isc_... / gds code), or 0.
    long GdsCode() const { return m_gdsCodes.empty() ? 0 : m_gdsCodes.front(); }
    /// Every error code of the status vector, in order.
    const std::vector<long>& GdsCodes() const { return m_gdsCodes; }

    /// Whether nothing more can be done in this run: the connection is gone, or the database
    /// cannot be written (read-only, I/O failure, full disk, shut down).
    bool IsFatal() const;
    /// Whether a NO WAIT transaction met a row or object another transaction holds.
    bool IsLockConflict() const;
    /// Whether a statement gave up on a row another transaction holds: the wait of its
    /// transaction timed out, or met a conflict or a deadlock. Its work is undone, and tried
    /// again it may succeed.
    bool IsLockWait() const;

private:
    long m_sqlCode;
    std::vector<long> m_gdsCodes;
};

} // namespace norvane::db
