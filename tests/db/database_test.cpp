#include "db/database.h"

#include "platform/files.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace norvane::db {
namespace {

using testing::TestDatabase;
using testing::TestServer;

std::unique_ptr<Database> Attached(const std::string& name) {
    auto database = std::make_unique<Database>("");
    database->SetDatabaseName(name);
    database->SetParams({"sysdba", "quillbark"});
    database->Open();
    return database;
}

TEST(Database, DropDeletesTheFileUnlessAnotherAttachmentHoldsIt) {
    TestDatabase file;
    const auto database = Attached(file.Path());
    {
        const auto other = Attached(file.Path());
        EXPECT_THROW(database->Drop(), EFirebirdError);
        EXPECT_TRUE(database->Connected());
        EXPECT_TRUE(platform::FileExists(file.Path()));
    }
    database->Drop();
    EXPECT_FALSE(database->Connected());
    EXPECT_FALSE(platform::FileExists(file.Path()));
}

// A file on a server's disk goes only this way.
TEST(DatabaseServer, DropDeletesTheFileOnTheServer) {
    const auto server = TestServer();
    if (!server)
        GTEST_SKIP() << "NORVANE_TEST_SERVER is not set; scripts/test starts a server and sets it";
    TestDatabase file;
    const auto database = Attached(*server + ":" + file.Path());
    database->Drop();
    EXPECT_FALSE(database->Connected());
    EXPECT_FALSE(platform::FileExists(file.Path()));
}

} // namespace
} // namespace norvane::db
