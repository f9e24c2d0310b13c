#include "update/blob_loader.h"

#include "platform/paths.h"
#include "update_fixture.h"

#include <algorithm>
#include <filesystem>
#include <random>

namespace norvane::update {
namespace {

struct NameCase {
    const char* path;
    const char* table;
    const char* field;
    const char* statement;
};

void PrintTo(const NameCase& c, std::ostream* out) {
    *out << '"' << c.path << '"';
}

class BlobFileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(BlobFileNameTest, GivesTheUpdateStatement) {
    const NameCase& c = GetParam();
    // The folders are written with slashes; the name is found by the system's separator.
    std::string path = c.path;
    std::replace(path.begin(), path.end(), '/', platform::NativePathRules().separator);
    const BlobTarget target = ParseBlobFileName(path);
    EXPECT_EQ(target.table, c.table);
    EXPECT_EQ(target.field, c.field);
    EXPECT_EQ(target.StatementText(), c.statement);
}

INSTANTIATE_TEST_SUITE_P(
    Names, BlobFileNameTest,
    ::testing::Values(
        NameCase{"/w/up/T1.F1.K1 5.blo", "T1", "F1", "update T1 set F1 = :F1 where (K1=5)"},
        NameCase{"/w/up/T1.F1.K1 5.K2 7.blo", "T1", "F1",
                 "update T1 set F1 = :F1 where (K1=5)and(K2=7)"},
        NameCase{"T1.F1.K1  5.blo", "T1", "F1", "update T1 set F1 = :F1 where (K1==5)"},
        NameCase{"/w/up/T1.F1.K1 5.BLO", "T1", "F1", "update T1 set F1 = :F1 where (K1=5)and(BLO)"},
        NameCase{"/w/up/X.blo", "", "", "update  set  = : where (X)"},
        NameCase{"/w/up/T.F.blo", "T", "", "update T set  = : where (F)"},
        NameCase{"/w.x/up y/REPORTS.DATA.ID 1042.blo", "REPORTS", "DATA",
                 "update REPORTS set DATA = :DATA where (ID=1042)"}));

struct RefusalCase {
    const char* name;
    const char* refusal; // "" when the name is taken
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
    *out << '"' << c.name << '"';
}

class BlobNameRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(BlobNameRefusalTest, TakesOnlyNamesAndKeys) {
    const RefusalCase& c = GetParam();
    const std::optional<std::string> refusal = ParseBlobFileName(c.name).Refusal();
    EXPECT_EQ(refusal.value_or(""), c.refusal);
}

INSTANTIATE_TEST_SUITE_P(
    Names, BlobNameRefusalTest,
    ::testing::Values(
        RefusalCase{"INFO_DOC.NOTE_U.ID 10.blo", ""}, RefusalCase{"T1.F1.K1 5.K2 -7.blo", ""},
        RefusalCase{"T$1.F_1.NAME 'O''Brien'.blo", ""}, RefusalCase{"T.F.K ''.blo", ""},
        RefusalCase{"INFO_DOC.NOTE_U.ID 10)or(1=1.blo",
                    "Blob file name refused: the key value \"10)or(1=1\" is neither an integer "
                    "nor a quoted literal"},
        RefusalCase{"T1.F1.K1 'a'or'1'='1'.blo",
                    "Blob file name refused: the key value \"'a'or'1'='1'\" is neither an "
                    "integer nor a quoted literal"},
        RefusalCase{"T1.F1.K1 'a b'.blo", "Blob file name refused: the key value \"'a b'\" is "
                                          "neither an integer nor a quoted literal"},
        RefusalCase{"T1.F1.K1  5.blo", "Blob file name refused: the key value \" 5\" is neither "
                                       "an integer nor a quoted literal"},
        RefusalCase{"T1.F1.K1 5.BLO",
                    "Blob file name refused: the key \"BLO\" is not a column, a blank and a value"},
        RefusalCase{"T1.F1.K1=1 or K1 5.blo",
                    "Blob file name refused: the key column \"K1=1\" is not a plain identifier"},
        RefusalCase{"T1.F1.\"K1\" 5.blo",
                    "Blob file name refused: the key column \"\"K1\"\" is not a plain identifier"},
        RefusalCase{"T1.F1=NULL,F2.K1 5.blo",
                    "Blob file name refused: the field \"F1=NULL,F2\" is not a plain identifier"},
        RefusalCase{"1T.F1.K1 5.blo",
                    "Blob file name refused: the table \"1T\" is not a plain identifier"},
        RefusalCase{"t.f_x.id +5.blo", ""},
        RefusalCase{"T.F.K -.blo", "Blob file name refused: the key value \"-\" is neither an "
                                   "integer nor a quoted literal"},
        RefusalCase{"T.F.K '.blo", "Blob file name refused: the key value \"'\" is neither an "
                                   "integer nor a quoted literal"},
        RefusalCase{"T.F.K 'it's'.blo", "Blob file name refused: the key value \"'it's'\" is "
                                        "neither an integer nor a quoted literal"},
        RefusalCase{"T.F.K 'a''.blo", "Blob file name refused: the key value \"'a''\" is neither "
                                      "an integer nor a quoted literal"},
        RefusalCase{"_T.F.K 1.blo",
                    "Blob file name refused: the table \"_T\" is not a plain identifier"},
        RefusalCase{"X.blo", "Blob file name refused: the table \"\" is not a plain identifier"},
        RefusalCase{"T.F.blo",
                    "Blob file name refused: the field \"\" is not a plain identifier"}));

class BlobLoaderTest : public UpdateFixture {
protected:
    BlobLoaderTest() {
        database.Execute("CREATE TABLE T1 (K1 INTEGER, K2 INTEGER, F1 BLOB SUB_TYPE 0);"
                         "INSERT INTO T1 VALUES (5, 7, NULL);"
                         "INSERT INTO T1 VALUES (5, 8, NULL);"
                         "INSERT INTO T1 VALUES (6, 7, NULL);");
    }

    std::int64_t NullCount() {
        return database.QueryCount("select count(*) from T1 where F1 is null");
    }

    // Loads path with failures going to logFile, the last script's log, and commits.
    BlobLoad Load(const std::string& path) {
        BlobLoader loader(Context());
        const BlobLoad load = loader.LoadBlobFile(path, BlobLogPath(logFile, path));
        loader.Commit();
        return load;
    }

    std::string logFile;
};

TEST_F(BlobLoaderTest, StoresAMegabyteByteForByteInTheNamedRow) {
    std::string bytes(1 << 20, '\0');
    std::mt19937 random(42);
    for (char& c : bytes)
        c = static_cast<char>(random());
    const std::string path = Write("T1.F1.K1 5.K2 7.blo", bytes);
    EXPECT_EQ(Load(path), BlobLoad::Loaded);
    EXPECT_FALSE(globDB->Transaction().Active());
    EXPECT_EQ(database.QueryBlob("select F1 from T1 where K1 = 5 and K2 = 7"), bytes);
    EXPECT_EQ(NullCount(), 2);
    EXPECT_FALSE(std::filesystem::exists(path + ".log"));
}

TEST_F(BlobLoaderTest, EmptyFileStoresAnEmptyBlob) {
    EXPECT_EQ(Load(Write("T1.F1.K1 6.blo", "")), BlobLoad::Loaded);
    EXPECT_EQ(database.QueryBlob("select F1 from T1 where K1 = 6"), "");
    EXPECT_EQ(NullCount(), 2);
}

TEST_F(BlobLoaderTest, EveryMatchingRowGetsTheValueAndNoMatchIsAFailure) {
    logFile = folder / "a.sql.log";
    EXPECT_EQ(Load(Write("T1.F1.K1 5.blo", "abc")), BlobLoad::Loaded);
    EXPECT_FALSE(std::filesystem::exists(logFile));
    EXPECT_EQ(Load(Write("T1.F1.K1 99.blo", "zzz")), BlobLoad::Failed);
    EXPECT_FALSE(globDB->Transaction().Active());
    EXPECT_EQ(database.QueryCount("select count(*) from T1 where F1 = 'abc'"), 2);
    EXPECT_EQ(NullCount(), 1);
    EXPECT_EQ(
        testing::ReadFile(logFile),
        LogEntryBytes("update T1 set F1 = :F1 where (K1=99)\r\n\n", "no row with (K1=99) in T1"));
}

TEST_F(BlobLoaderTest, RefusedNameUpdatesNothingAndIsLogged) {
    logFile = folder / "a.sql.log";
    EXPECT_EQ(Load(Write("T1.F1.K1 5)or(1=1.blo", "all")), BlobLoad::Failed);
    EXPECT_FALSE(globDB->Transaction().Active());
    EXPECT_EQ(NullCount(), 3);
    EXPECT_EQ(testing::ReadFile(logFile),
              LogEntryBytes("update T1 set F1 = :F1 where (K1=5)or(1=1)\r\n\n",
                            "Blob file name refused: the key value \"5)or(1=1\" is neither an "
                            "integer nor a quoted literal"));
}

TEST_F(BlobLoaderTest, QuotedKeyValueFindsItsRow) {
    database.Execute(
        "CREATE TABLE T2 (NAME VARCHAR(20), F1 BLOB SUB_TYPE 0);"
        "INSERT INTO T2 VALUES ('O''Brien', NULL); INSERT INTO T2 VALUES ('O', NULL);");
    EXPECT_EQ(Load(Write("T2.F1.NAME 'O''Brien'.blo", "x")), BlobLoad::Loaded);
    EXPECT_EQ(database.QueryBlob("select F1 from T2 where NAME = 'O''Brien'"), "x");
    EXPECT_EQ(database.QueryCount("select count(*) from T2 where F1 is null"), 1);
}

TEST_F(BlobLoaderTest, TransactionIsStartedAgainForEveryFile) {
    Context();
    ASSERT_TRUE(globDB->Transaction().Active());
    EXPECT_EQ(Load(Write("T1.F1.K1 5.K2 7.blo", "one")), BlobLoad::Loaded);
    EXPECT_FALSE(globDB->Transaction().Active());
    EXPECT_EQ(Load(Write("T1.F1.K1 6.blo", "two")), BlobLoad::Loaded);
    EXPECT_FALSE(globDB->Transaction().Active());
    EXPECT_EQ(database.QueryBlob("select F1 from T1 where K1 = 6"), "two");
}

TEST_F(BlobLoaderTest, UpperCaseExtensionFailsIntoTheCurrentLog) {
    logFile = folder / "255.99.sql.log";
    testing::WriteFile(logFile, "earlier\r\n");
    const std::string path = Write("T1.F1.K1 5.BLO", "x");
    EXPECT_EQ(Load(path), BlobLoad::Failed);
    EXPECT_FALSE(globDB->Transaction().Active());
    EXPECT_EQ(NullCount(), 3);

    const std::string log = testing::ReadFile(logFile);
    const std::string record = "update T1 set F1 = :F1 where (K1=5)and(BLO)\r\n\n";
    const std::string separator(Separator);
    ASSERT_TRUE(log.starts_with("earlier\r\n" + record + separator + "\r\n")) << log;
    const std::size_t messageStart = 9 + record.size() + separator.size() + 2;
    const std::string message =
        log.substr(messageStart, log.find("\r\n" + separator, messageStart) - messageStart);
    EXPECT_NE(message.find("BLO"), std::string::npos) << message;
    EXPECT_EQ(log, "earlier\r\n" + LogEntryBytes(record, message));
    EXPECT_FALSE(std::filesystem::exists(path + ".log"));
}

TEST_F(BlobLoaderTest, FailureWithoutACurrentLogGoesBesideTheBlobFile) {
    const std::string path = Write("X.blo", "x");
    EXPECT_EQ(Load(path), BlobLoad::Failed);
    EXPECT_EQ(BlobLogPath("", path), path + ".log");
    const std::string log = testing::ReadFile(path + ".log");
    EXPECT_TRUE(log.starts_with("update  set  = : where (X)\r\n\n" + std::string(Separator)))
        << log;
}

TEST_F(BlobLoaderTest, MissingFileIsLoggedAndRolledBack) {
    logFile = folder / "a.sql.log";
    EXPECT_EQ(Load(folder / "T1.F1.K1 5.blo"), BlobLoad::Failed);
    EXPECT_FALSE(globDB->Transaction().Active());
    EXPECT_NE(testing::ReadFile(logFile).find("T1.F1.K1 5.blo"), std::string::npos);
    EXPECT_EQ(NullCount(), 3);
}

} // namespace
} // namespace norvane::update
