#pragma once

#include "support/test_database.h"

#include <gtest/gtest.h>

#include <string>

namespace norvane::testing {

/// The loopback server of the server-mode tests (NORVANE_TEST_SERVER), or "" when there is
/// none. None where NORVANE_REQUIRE_SERVER is set (scripts/test starts the server, so it must
/// be there) is a failure of the calling test.
std::string ServerForTest();

/// Why a server-mode test did not run.
inline constexpr const char* NoServerReason =
    "NORVANE_TEST_SERVER is not set; scripts/test starts a server and sets it";

/// A fixture for tests against the loopback server: without one they are skipped, or fail
/// where the server is required.
template <typename Base = ::testing::Test> class WithTestServer : public Base {
protected:
    void SetUp() override {
        Base::SetUp();
        m_server = ServerForTest();
        if (m_server.empty())
            GTEST_SKIP() << NoServerReason;
    }
    const std::string& Server() const { return m_server; }

private:
    std::string m_server;
};

} // namespace norvane::testing
