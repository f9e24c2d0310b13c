#include "platform/deadline.h"
#include "platform/environment.h"
#include "platform/paths.h"

#include "support/environment_override.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <stdexcept>
#include <unistd.h>

namespace norvane::platform {
namespace {

using testing::EnvironmentOverride;

TEST(EnvironmentValue, AnEmptyValueIsNone) {
    const EnvironmentOverride set("NORVANE_TEST_VALUE", "Кошторис");
    EXPECT_EQ(EnvironmentValue("NORVANE_TEST_VALUE"), "Кошторис");
    const EnvironmentOverride empty("NORVANE_TEST_VALUE", "");
    EXPECT_EQ(EnvironmentValue("NORVANE_TEST_VALUE"), std::nullopt);
    EXPECT_EQ(EnvironmentValue("NORVANE_TEST_NEVER_SET"), std::nullopt);
}

TEST(ThisProcess, NamesTheHostTheProcessAndTheUser) {
    const ProcessIdentity identity = ThisProcess();
    char host[256] = {};
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(identity.host, host);
    EXPECT_EQ(identity.processId, ::getpid());
    EXPECT_FALSE(identity.user.empty());
}

// A user the system has no entry for, as in a container started with a bare number.
TEST(ThisProcess, AUserWithoutANameIsItsNumber) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "acting as another user needs root";
    ASSERT_EQ(::seteuid(54321), 0);
    const ProcessIdentity identity = ThisProcess();
    ASSERT_EQ(::seteuid(0), 0);
    EXPECT_EQ(identity.user, "54321");
}

TEST(TempFolder, OnlyAnAbsoluteTmpdirIsTaken) {
    {
        const EnvironmentOverride tmpdir("TMPDIR", "/var/tmp/norvane");
        EXPECT_EQ(TempFolder(), "/var/tmp/norvane");
    }
    {
        const EnvironmentOverride tmpdir("TMPDIR", "tmp");
        EXPECT_EQ(TempFolder(), "/tmp");
    }
    const EnvironmentOverride tmpdir("TMPDIR", "");
    EXPECT_EQ(TempFolder(), "/tmp");
    ::unsetenv("TMPDIR");
    EXPECT_EQ(TempFolder(), "/tmp");
}

// Whatever the user's locale, system names are taken as UTF-8 afterwards.
TEST(UseUtf8SystemNames, TurnsEveryLocaleToUtf8) {
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    for (const char* locale : {"C", "POSIX", "no_SUCH.locale", "C.UTF-8"}) {
        SCOPED_TRACE(locale);
        const EnvironmentOverride all("LC_ALL", locale);
        UseUtf8SystemNames();
        EXPECT_STREQ(::nl_langinfo(CODESET), "UTF-8");
    }
    std::setlocale(LC_CTYPE, saved.c_str());
}

TEST(RunOrEndProcess, WorkDoneInTimeLeavesTheProcessRunning) {
    int runs = 0;
    RunOrEndProcess(std::chrono::seconds(30), 7, [&] { ++runs; });
    EXPECT_EQ(runs, 1);
    // What the work throws reaches the caller, and the watchdog is gone with it.
    EXPECT_THROW(RunOrEndProcess(std::chrono::seconds(30), 7,
                                 [] { throw std::runtime_error("the work failed"); }),
                 std::runtime_error);
}

TEST(RunOrEndProcessDeathTest, WorkPastTheLimitEndsTheProcessWithTheStatus) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunOrEndProcess(std::chrono::milliseconds(50), 7, [] { ::pause(); }),
                ::testing::ExitedWithCode(7), "");
}

} // namespace
} // namespace norvane::platform
