#include "db/services.h"

#include "base/sha256.h"
#include "db/statement.h"
#include "db/transaction.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/expect_throw.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace norvane::db {
namespace {

using testing::TempFolder;
using testing::TestDatabase;
using testing::TestServer;

const ConnectionParams Account{"sysdba", "quillbark"};

TEST(BackupFileName, NamesTheDatabaseItsVersionAndTheTime) {
    struct Case {
        const char* databaseName;
        std::string expected;
    };
    const BackupTime time{2024, 3, 7, 9, 5, 1};
    const Case cases[] = {
        {"/data/norvane.fdb", "norvane-254-20240307T090501.fbk"},
        {"C:\\Norvane\\Data\\NORVANE.FDB", "NORVANE-254-20240307T090501.fbk"},
        {"127.0.0.1/3063:/data/norvane.fdb", "norvane-254-20240307T090501.fbk"},
        {"server:D:\\Бази\\Кошторис.fdb", "Кошторис-254-20240307T090501.fbk"},
        {"norvane.fdb", "norvane-254-20240307T090501.fbk"},
        {"/data/norvane", "norvane-254-20240307T090501.fbk"},
        {"/data/norvane.2024.fdb", "norvane.2024-254-20240307T090501.fbk"},
        {"/data/.norvane", ".norvane-254-20240307T090501.fbk"},
        {"/data.d/norvane", "norvane-254-20240307T090501.fbk"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BackupFileName(c.databaseName, 254, time), c.expected) << c.databaseName;
    EXPECT_EQ(BackupFileName("/x.fdb", 7, {1999, 12, 31, 23, 59, 58}), "x-7-19991231T235958.fbk");
}

TEST(ServiceManagerName, IsTheServerOfTheDatabaseName) {
    struct Case {
        const char* databaseName;
        DatabaseLocation location;
        const char* serviceManager;
    };
    const Case cases[] = {
        {"/data/x.fdb", {"", "/data/x.fdb"}, "service_mgr"},
        {"x.fdb", {"", "x.fdb"}, "service_mgr"},
        {"C:\\Data\\x.fdb", {"", "C:\\Data\\x.fdb"}, "service_mgr"},
        {"c:/Data/x.fdb", {"", "c:/Data/x.fdb"}, "service_mgr"},
        {"127.0.0.1:/data/x.fdb", {"127.0.0.1", "/data/x.fdb"}, "127.0.0.1:service_mgr"},
        {"127.0.0.1/3063:/data/x.fdb",
         {"127.0.0.1/3063", "/data/x.fdb"},
         "127.0.0.1/3063:service_mgr"},
        {"server:C:\\Data\\x.fdb", {"server", "C:\\Data\\x.fdb"}, "server:service_mgr"},
        {"[::1]/3050:/data/x.fdb", {"[::1]/3050", "/data/x.fdb"}, "[::1]/3050:service_mgr"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplitDatabaseName(c.databaseName), c.location) << c.databaseName;
        EXPECT_EQ(ServiceManagerName(c.databaseName), c.serviceManager) << c.databaseName;
    }
}

// A value as text, for comparing databases.
std::string ValueText(const FieldValue& value) {
    return std::visit(
        [](const auto& field) -> std::string {
            using T = std::decay_t<decltype(field)>;
            if constexpr (std::is_same_v<T, Null>) {
                return "<null>";
            } else if constexpr (std::is_same_v<T, ScaledInteger>) {
                return std::to_string(field.value) + "e" + std::to_string(field.scale);
            } else if constexpr (std::is_same_v<T, double>) {
                char text[64];
                std::snprintf(text, sizeof text, "%.17g", field);
                return text;
            } else if constexpr (std::is_same_v<T, std::string>) {
                return "'" + field + "'";
            } else if constexpr (std::is_same_v<T, BlobBytes>) {
                // Large blobs by their digest, so that a difference stays readable.
                if (field.bytes.size() > 200)
                    return "blob of " + std::to_string(field.bytes.size()) + " bytes, sha256 " +
                           Sha256Hex(field.bytes);
                return "blob '" + field.bytes + "'";
            } else {
                return "unread " + field.typeName;
            }
        },
        value);
}

// Every row of a query, one line each, in the order the query gives.
std::vector<std::string> Rows(Database& database, const std::string& sql) {
    Statement query(database, Parameters::Raw);
    query.SetSql(sql);
    query.Execute();
    std::vector<std::string> rows;
    while (query.Fetch()) {
        std::string row;
        for (std::size_t column = 0; column < query.FieldCount(); ++column)
            row += (column == 0 ? "" : " | ") + ValueText(query.Field(column));
        rows.push_back(row);
    }
    query.Close();
    return rows;
}

// The user's tables, columns, domains, indices, constraints, views, procedures, triggers and
// sequences with their values, then every row of every table (blobs byte for byte), read
// through the client: the same on both systems, where isql's extract is not. A restore writes
// 0 where the engine left some types and indices NULL; both read as 0.
std::string Dump(const std::string& databaseName) {
    Database database("");
    database.SetDatabaseName(databaseName);
    database.SetParams(Account);
    database.Open();
    Transaction transaction(database);
    database.SetDefaultTransaction(&transaction);
    transaction.StartTransaction();
    std::string dump;
    const auto add = [&](const std::string& title, std::vector<std::string> rows) {
        dump += "== " + title + "\n";
        for (const std::string& row : rows)
            dump += row + "\n";
    };
    const char* const userObject = "coalesce(rdb$system_flag, 0) = 0";
    add("database", Rows(database, "select mon$page_size, mon$sql_dialect from mon$database"));
    add("columns",
        Rows(database, "select r.rdb$relation_name, f.rdb$field_name, f.rdb$field_position, "
                       "t.rdb$field_type, coalesce(t.rdb$field_sub_type, 0), t.rdb$field_length, "
                       "t.rdb$field_scale, "
                       "t.rdb$character_set_id, f.rdb$null_flag, t.rdb$null_flag, "
                       "cast(f.rdb$default_source as varchar(200)), "
                       "cast(t.rdb$default_source as varchar(200)), "
                       "cast(r.rdb$view_source as varchar(2000)) "
                       "from rdb$relations r join rdb$relation_fields f "
                       "on f.rdb$relation_name = r.rdb$relation_name "
                       "join rdb$fields t on t.rdb$field_name = f.rdb$field_source "
                       "where coalesce(r.rdb$system_flag, 0) = 0 order by 1, 3"));
    add("indices", Rows(database, std::string("select i.rdb$index_name, i.rdb$relation_name, "
                                              "i.rdb$unique_flag, coalesce(i.rdb$index_type, 0), "
                                              "s.rdb$field_name, s.rdb$field_position "
                                              "from rdb$indices i join rdb$index_segments s "
                                              "on s.rdb$index_name = i.rdb$index_name where ") +
                                      userObject + " order by 1, 6"));
    add("constraints", Rows(database, "select rdb$constraint_name, rdb$constraint_type, "
                                      "rdb$relation_name, rdb$index_name "
                                      "from rdb$relation_constraints "
                                      "where rdb$relation_name not starting with 'RDB$' "
                                      "and rdb$relation_name not starting with 'MON$' "
                                      "order by 1"));
    add("procedures", Rows(database, std::string("select rdb$procedure_name, rdb$procedure_source "
                                                 "from rdb$procedures where ") +
                                         userObject + " order by 1"));
    add("triggers", Rows(database, std::string("select rdb$trigger_name, rdb$relation_name, "
                                               "rdb$trigger_type, rdb$trigger_sequence, "
                                               "rdb$trigger_inactive, rdb$trigger_source "
                                               "from rdb$triggers where ") +
                                       userObject + " order by 1"));
    for (const std::string& row :
         Rows(database, std::string("select rdb$generator_name from rdb$generators where ") +
                            userObject + " order by 1")) {
        const std::string name = row.substr(1, row.size() - 2);
        add("sequence " + name,
            Rows(database, "select gen_id(\"" + name + "\", 0) from rdb$database"));
    }
    // Types this client layer does not read go as text.
    for (const std::string& row :
         Rows(database, "select rdb$relation_name from rdb$relations where rdb$view_blr is null "
                        "and coalesce(rdb$system_flag, 0) = 0 order by 1")) {
        const std::string table = row.substr(1, row.size() - 2);
        std::string columns;
        for (const std::string& column :
             Rows(database, "select f.rdb$field_name, t.rdb$field_type "
                            "from rdb$relation_fields f join rdb$fields t "
                            "on t.rdb$field_name = f.rdb$field_source "
                            "where f.rdb$relation_name = '" +
                                table + "' order by f.rdb$field_position")) {
            const std::size_t split = column.find(" | ");
            const std::string name = column.substr(1, split - 2);
            const int type = std::stoi(column.substr(split + 3));
            const bool readAsText = type == 12 || type == 13 || type == 35 || type == 23;
            columns += std::string(columns.empty() ? "" : ", ") +
                       (readAsText ? "cast(\"" + name + "\" as varchar(40))" : "\"" + name + "\"");
        }
        std::vector<std::string> rows =
            Rows(database, "select " + columns + " from \"" + table + "\"");
        std::sort(rows.begin(), rows.end());
        add("rows of " + table, rows);
    }
    transaction.Commit();
    database.Close();
    return dump;
}

std::string BinaryBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

// A product-like database: a domain, keys, an index, a view, a procedure, a trigger, a
// sequence, text in UTF-8 and blobs of text and of bytes, one of them of many segments; its
// page size is not the engine's default, so that a restore that does not keep it shows.
void FillProductDatabase(TestDatabase& file) {
    file.Execute("create domain money as numeric(15, 2) default 0 not null;\n"
                 "create table units (id integer not null primary key, name varchar(40) "
                 "character set utf8 not null);\n"
                 "create table works (id integer not null primary key, unit_id integer "
                 "references units (id), code varchar(20) character set utf8, price money, "
                 "weight double precision, made timestamp, note blob sub_type text character "
                 "set utf8, picture blob sub_type binary);\n"
                 "create unique index works_code on works (code);\n"
                 "create sequence works_id;\n"
                 "alter sequence works_id restart with 41;\n"
                 "create view cheap_works as select id, code from works where price < 10;\n"
                 "set term ^ ;\n"
                 "create procedure work_count returns (n integer) as begin "
                 "select count(*) from works into :n; suspend; end^\n"
                 "create trigger works_bi for works before insert as begin "
                 "if (new.id is null) then new.id = next value for works_id; end^\n"
                 "set term ; ^\n"
                 "insert into units values (1, 'м²');\n"
                 "insert into units values (2, 'шт');\n"
                 "insert into works (unit_id, code, price, weight, made, note) values "
                 "(1, 'Е1-1', 12.5, 0.25, '2024-03-07 09:05:01', 'Кошторис, рядок 1');\n"
                 "insert into works (unit_id, code, price, weight, note) values "
                 "(2, 'Е1-2', 3.75, 1e-3, '');\n"
                 "insert into works (unit_id, code) values (2, 'Е1-3');\n");
    Database database("");
    database.SetDatabaseName(file.Path());
    database.SetParams(Account);
    database.Open();
    Transaction transaction(database);
    database.SetDefaultTransaction(&transaction);
    transaction.StartTransaction();
    Statement update(database, Parameters::Named);
    update.SetSql("update works set picture = :picture where code = 'Е1-1'");
    const std::string bytes = BinaryBytes(200 * 1024);
    update.SetBlobParam("picture", std::as_bytes(std::span(bytes)));
    update.Execute();
    transaction.Commit();
    database.Close();
}

enum class Engine { Embedded, Server };

std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
    return info.param == Engine::Embedded ? "Embedded" : "Server";
}

// Each case runs against the embedded engine of this process and against the loopback server.
class ServiceManagerTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (GetParam() == Engine::Server) {
            m_server = TestServer();
            if (!m_server)
                GTEST_SKIP() << "NORVANE_TEST_SERVER is not set; scripts/test starts a server "
                                "and sets it";
        }
    }

    // The name a program would attach the file with.
    std::string NameOf(const std::string& path) const {
        return m_server ? *m_server + ":" + path : path;
    }

    ServiceManager Manager(const std::string& path) const {
        return ServiceManager("", NameOf(path), Account);
    }

    std::optional<std::string> m_server;
};

INSTANTIATE_TEST_SUITE_P(Engines, ServiceManagerTest,
                         ::testing::Values(Engine::Embedded, Engine::Server), EngineName);

bool AnyHolds(const std::vector<std::string>& lines, const std::string& fragment) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(fragment) != std::string::npos;
    });
}

TEST_P(ServiceManagerTest, ABackupRestoresIntoANewDatabaseEqualToTheOriginal) {
    TestDatabase original(3, "norvane.fdb", 4096);
    FillProductDatabase(original);
    TempFolder folder;
    const std::string backupFile = folder / "norvane-254-20240307T090501.fbk";
    const std::string copy = folder / "copy.fdb";

    std::vector<std::string> backupLines;
    std::vector<std::string> restoreLines;
    ServiceManager manager = Manager(original.Path());
    const std::uint64_t size =
        manager.Backup(original.Path(), backupFile,
                       {[&](const std::string& line) { backupLines.push_back(line); }, {}});
    manager.Restore(backupFile, copy, RestoreTarget::CreateNew,
                    {[&](const std::string& line) { restoreLines.push_back(line); }, {}});

    EXPECT_EQ(platform::FileSize(backupFile), size);
    EXPECT_GT(size, 200u * 1024);
    EXPECT_TRUE(AnyHolds(backupLines, "WORKS")) << "the tables are named as they are written";
    EXPECT_TRUE(AnyHolds(backupLines, std::to_string(size) + " bytes written"));
    EXPECT_TRUE(AnyHolds(restoreLines, "WORKS"));
    EXPECT_TRUE(AnyHolds(restoreLines, "finishing, closing, and going home"));
    const std::string dump = Dump(original.Path());
    EXPECT_NE(dump.find("== database\n4096e0 | 3e0\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("blob 'Кошторис, рядок 1'"), std::string::npos) << dump;
    EXPECT_NE(dump.find("blob of 204800 bytes, sha256 " + Sha256Hex(BinaryBytes(200 * 1024))),
              std::string::npos)
        << dump;
    EXPECT_EQ(Dump(copy), dump);
}

// A restore over a database replaces it whole; isql's extract compares the metadata as DDL too
// where there is an isql.
TEST_P(ServiceManagerTest, ARestoreReplacesAnExistingDatabase) {
    TestDatabase original(3, "norvane.fdb", 4096);
    FillProductDatabase(original);
    TestDatabase target(3, "target.fdb");
    target.Execute("create table stale (x integer);\ninsert into stale values (1);");
    TempFolder folder;
    const std::string backupFile = folder / "norvane.fbk";

    ServiceManager manager = Manager(original.Path());
    manager.Backup(original.Path(), backupFile);
    manager.Restore(backupFile, target.Path(), RestoreTarget::Replace);

    EXPECT_EQ(Dump(target.Path()), Dump(original.Path()));
    const auto withoutPath = [](std::string ddl, const std::string& path) {
        for (std::size_t at; (at = ddl.find(path)) != std::string::npos;)
            ddl.replace(at, path.size(), "<database>");
        return ddl;
    };
    EXPECT_EQ(withoutPath(target.ExtractMetadata(), target.Path()),
              withoutPath(original.ExtractMetadata(), original.Path()));
}

TEST_P(ServiceManagerTest, ARestoreDoesNotTouchAnExistingDatabaseUnlessToldToReplaceIt) {
    TestDatabase original;
    original.Execute("create table t (x integer);\ninsert into t values (1);");
    TestDatabase other(3, "other.fdb");
    other.Execute("create table kept (x integer);\ninsert into kept values (7);");
    TempFolder folder;
    const std::string backupFile = folder / "original.fbk";
    ServiceManager manager = Manager(original.Path());
    manager.Backup(original.Path(), backupFile);

    EXPECT_THROW_CONTAINING(manager.Restore(backupFile, other.Path(), RestoreTarget::CreateNew),
                            EFirebirdError, "already exists");
    EXPECT_EQ(other.QueryCount("select x from kept"), 7);
}

TEST_P(ServiceManagerTest, ABackupIntoAMissingFolderRaisesWithTheServiceTextAndLeavesNoFile) {
    TestDatabase original;
    TempFolder folder;
    const std::string backupFile = JoinPath(folder / "missing", "x.fbk");
    ServiceManager manager = Manager(original.Path());
    EXPECT_THROW_CONTAINING(manager.Backup(original.Path(), backupFile), EFirebirdError,
                            "cannot open backup file " + backupFile);
    EXPECT_FALSE(platform::FileExists(backupFile));
}

TEST_P(ServiceManagerTest, ABackupOfAMissingDatabaseRaisesWithTheServiceTextAndLeavesNoFile) {
    TestDatabase elsewhere;
    TempFolder folder;
    const std::string missing = folder / "missing.fdb";
    const std::string backupFile = folder / "missing.fbk";
    ServiceManager manager = Manager(elsewhere.Path());
    EXPECT_THROW_CONTAINING(manager.Backup(missing, backupFile), EFirebirdError,
                            "I/O error during \"open\" operation for file \"" + missing + "\"");
    EXPECT_FALSE(platform::FileExists(backupFile));
}

TEST_P(ServiceManagerTest, ACallerStopsWaitingByThrowingFromTheCallback) {
    TestDatabase original;
    FillProductDatabase(original);
    TempFolder folder;
    const std::string stopped = folder / "stopped.fbk";
    const std::string whole = folder / "whole.fbk";
    ServiceManager manager = Manager(original.Path());
    int lines = 0;
    EXPECT_THROW_MSG(manager.Backup(original.Path(), stopped,
                                    {[&](const std::string&) {
                                         if (++lines == 3)
                                             throw std::runtime_error("interrupted");
                                     },
                                     {}}),
                     std::runtime_error, "interrupted");
    EXPECT_EQ(lines, 3);
    if (manager.Embedded()) {
        EXPECT_FALSE(platform::FileExists(stopped));
    }
    // The manager attaches again for the next service.
    EXPECT_GT(manager.Backup(original.Path(), whole), 0u);
}

TEST(ServiceManagerServer, AWrongPasswordIsRefusedWithTheClientText) {
    const auto server = TestServer();
    if (!server)
        GTEST_SKIP() << "NORVANE_TEST_SERVER is not set; scripts/test starts a server and sets it";
    EXPECT_THROW_CONTAINING(
        ServiceManager("", *server + ":/nonexistent/x.fdb", {"sysdba", "wrong"}), EFirebirdError,
        "user name and password are not defined");
}

// A backup cut short makes gbak ask for its next volume on the terminal of the process it runs
// in, and end without an error (or drop the connection) when no one answers: the restore must
// not pass for a success, and the half-restored database must not stay. Only the server's gbak is
// asked: the embedded one would wait for whoever runs the tests at a terminal.
TEST(ServiceManagerServer, ARestoreOfATruncatedBackupRaisesAndLeavesNoDatabase) {
    const auto server = TestServer();
    if (!server)
        GTEST_SKIP() << "NORVANE_TEST_SERVER is not set; scripts/test starts a server and sets it";
    TestDatabase original;
    FillProductDatabase(original);
    TempFolder folder;
    const std::string backupFile = folder / "whole.fbk";
    const std::string truncated = folder / "truncated.fbk";
    const std::string copy = folder / "copy.fdb";
    ServiceManager manager("", *server + ":" + original.Path(), Account);
    const std::uint64_t size = manager.Backup(original.Path(), backupFile);
    const std::string bytes = testing::ReadFile(backupFile);
    ASSERT_EQ(bytes.size(), size);
    testing::WriteFile(truncated, std::string_view(bytes).substr(0, bytes.size() / 2));

    EXPECT_THROW(manager.Restore(truncated, copy, RestoreTarget::CreateNew), EFirebirdError);
    EXPECT_FALSE(platform::FileExists(copy));
}

} // namespace
} // namespace norvane::db
