#include "platform/library.h"

#include "base/exceptions.h"
#include "support/expect_throw.h"

#include <gtest/gtest.h>

#include <string>

namespace norvane::platform {
namespace {

TEST(SharedLibrary, MissingLibraryErrorNamesEveryCandidate) {
    try {
        SharedLibrary::Open({"/nonexistent/liba.so", "/nonexistent/libb.so"}, "the test library");
        FAIL() << "no error";
    } catch (const ELibraryError& error) {
        const std::string message = error.what();
        EXPECT_EQ(message.rfind("Cannot load the test library /nonexistent/liba.so: ", 0), 0u)
            << message;
        EXPECT_NE(message.find("/nonexistent/libb.so: "), std::string::npos) << message;
    }
}

TEST(SharedLibrary, NoCandidatesIsAnErrorToo) {
    EXPECT_THROW_MSG(SharedLibrary::Open({}, "the test library"), ELibraryError,
                     "Cannot load the test library no file to load");
}

TEST(SharedLibrary, TheFirstCandidateThatLoadsIsTaken) {
    const auto library =
        SharedLibrary::Open({"/nonexistent/liba.so", "libfbclient.so.2", "libm.so.6"}, "a");
    EXPECT_EQ(library.Name(), "libfbclient.so.2");
    EXPECT_NE(library.Symbol("isc_attach_database"), nullptr);
    EXPECT_EQ(library.Symbol("no_such_symbol_here"), nullptr);
}

TEST(SharedLibrary, AMoveHandsTheLibraryOnAndEmptiesTheSource) {
    auto library = SharedLibrary::Open({"libfbclient.so.2"}, "the client");
    SharedLibrary moved = std::move(library);
    EXPECT_NE(moved.Symbol("isc_attach_database"), nullptr);
    EXPECT_EQ(moved.Name(), "libfbclient.so.2");
    EXPECT_EQ(library.Symbol("isc_attach_database"), nullptr);

    auto other = SharedLibrary::Open({"libm.so.6"}, "the maths library");
    other = std::move(moved);
    EXPECT_NE(other.Symbol("isc_attach_database"), nullptr);
    EXPECT_EQ(other.Name(), "libfbclient.so.2");
    EXPECT_EQ(moved.Symbol("isc_attach_database"), nullptr);
}

} // namespace
} // namespace norvane::platform
