#pragma once

#include "base/exceptions.h"

#include <string>

namespace norvane::db {

/// A failure reported by the Firebird client. what() is the client's full status text, one
/// line a message, joined by LF.
class EFirebirdError : public Exception {
public:
    EFirebirdError(const std::string& message, long sqlCode, long gdsCode)
        : Exception(message), m_sqlCode(sqlCode), m_gdsCode(gdsCode) {}

    /// The SQLCODE the client derives from the status (isc_sqlcode).
    long SqlCode() const { return m_sqlCode; }
    /// The first error code of the status vector (isc_... / gds code).
    long GdsCode() const { return m_gdsCode; }

private:
    long m_sqlCode;
    long m_gdsCode;
};

} // namespace norvane::db
