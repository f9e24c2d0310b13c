#pragma once

#include "support/child_process.h"
#include "support/temp_folder.h"

#include <string>

namespace norvane::testing {

/// A Firebird server of the test's own on a loopback port of its own (started with
/// scripts/firebird-server), so that a test may stop it without disturbing others. Stopped
/// when the owner goes.
class PrivateFirebirdServer {
public:
    PrivateFirebirdServer();
    ~PrivateFirebirdServer();
    PrivateFirebirdServer(const PrivateFirebirdServer&) = delete;
    PrivateFirebirdServer& operator=(const PrivateFirebirdServer&) = delete;

    /// The server name a client connects with: "127.0.0.1/<port>".
    std::string Name() const;
    /// Ends the server at once (SIGKILL), as a crash or a pulled cable would.
    void Kill();

private:
    CommandResult Script(const std::string& command) const;

    TempFolder m_state;
    int m_port = 0;
};

} // namespace norvane::testing
