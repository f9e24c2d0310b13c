#include "platform/library.h"

#include "base/exceptions.h"
#include "db/glob_db.h"
#include "support/environment_override.h"

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
        EXPECT_EQ(platform::FirebirdClientCandidates("/opt/app"),
                  (std::vector<std::string>{"libfbclient.so.2", "libfbclient.so"}));
    }
    EnvironmentOverride forced("NORVANE_FBCLIENT", "/opt/fb/lib/libfbclient.so");
    EXPECT_EQ(platform::FirebirdClientCandidates("/opt/app"),
              (std::vector<std::string>{"/opt/fb/lib/libfbclient.so"}));
}

TEST(SharedLibrary, MissingLibraryErrorNamesEveryCandidate) {
    try {
        platform::SharedLibrary::Open({"/nonexistent/liba.so", "/nonexistent/libb.so"},
                                      "the test library");
        FAIL() << "no error";
    } catch (const ELibraryError& error) {
        const std::string message = error.what();
        EXPECT_EQ(message.rfind("Cannot load the test library /nonexistent/liba.so: ", 0), 0u)
            << message;
        EXPECT_NE(message.find("/nonexistent/libb.so: "), std::string::npos) << message;
    }
}

TEST(SharedLibrary, MovedOwnerKeepsTheLibrary) {
    auto library = platform::SharedLibrary::Open({"libfbclient.so.2"});
    ASSERT_NE(library.Symbol("isc_attach_database"), nullptr);
    EXPECT_EQ(library.Symbol("no_such_symbol_here"), nullptr);
    platform::SharedLibrary moved = std::move(library);
    EXPECT_NE(moved.Symbol("isc_attach_database"), nullptr);
    EXPECT_EQ(moved.Name(), "libfbclient.so.2");
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
    try {
        db::CGlobDB globDb("/opt/app", "", "");
        FAIL() << "no error";
    } catch (const ELibraryError& error) {
        EXPECT_NE(
            std::string(error.what()).find("libm.so.6 has no entry point isc_attach_database"),
            std::string::npos)
            << error.what();
    }
}

} // namespace
} // namespace norvane
