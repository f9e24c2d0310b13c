#include "db/client_library.h"

#include "base/exceptions.h"
#include "db/glob_db.h"
#include "support/environment_override.h"
#include "support/expect_throw.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace norvane {
namespace {

using testing::EnvironmentOverride;

TEST(FirebirdClientCandidates, SystemNamesUnlessOverridden) {
    {
        EnvironmentOverride unset("NORVANE_FBCLIENT", "");
        EXPECT_EQ(db::FirebirdClientCandidates("/opt/app"),
                  (std::vector<std::string>{"libfbclient.so.2", "libfbclient.so"}));
    }
    EnvironmentOverride forced("NORVANE_FBCLIENT", "/opt/fb/lib/libfbclient.so");
    EXPECT_EQ(db::FirebirdClientCandidates("/opt/app"),
              (std::vector<std::string>{"/opt/fb/lib/libfbclient.so"}));
}

TEST(CGlobDBClient, MissingClientLibraryIsNamed) {
    EnvironmentOverride forced("NORVANE_FBCLIENT", "/nonexistent/libfbclient.so.2");
    try {
        db::CGlobDB globDb("/opt/app", "", "");
        FAIL() << "no error";
    } catch (const ELibraryError& error) {
        EXPECT_EQ(std::string(error.what())
                      .rfind("Cannot load the Firebird client library "
                             "/nonexistent/libfbclient.so.2: ",
                             0),
                  0u)
            << error.what();
    }
}

TEST(CGlobDBClient, LibraryWithoutTheClientEntryPointsIsRefused) {
    EnvironmentOverride forced("NORVANE_FBCLIENT", "libm.so.6");
    EXPECT_THROW_CONTAINING(db::CGlobDB("/opt/app", "", ""), ELibraryError,
                            "libm.so.6 has no entry point isc_attach_database");
}

} // namespace
} // namespace norvane
