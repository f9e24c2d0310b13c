#include "db/glob_db.h"

#include "support/expect_throw.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace norvane::db {
namespace {

using testing::TestDatabase;

enum class Outcome { Value, ConvertError, NamedMissingColumn };

struct VersionCase {
    const char* name;
    const char* setup;
    Outcome outcome;
    std::int32_t expected = 0;
    const char* message = nullptr;
};

void PrintTo(const VersionCase& c, std::ostream* out) {
    *out << c.name;
}

class VersionQuery : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionQuery, ReadsDataOfNewestRow) {
    const VersionCase& c = GetParam();
    TestDatabase file;
    file.Execute(c.setup);
    CGlobDB globDb("/opt/app", "", file.Path());
    switch (c.outcome) {
    case Outcome::Value:
        EXPECT_EQ(globDb.GetVersion(), c.expected);
        break;
    case Outcome::ConvertError:
        if (c.message)
            EXPECT_THROW_MSG(globDb.GetVersion(), EConvertError, c.message);
        else
            EXPECT_THROW(globDb.GetVersion(), EConvertError);
        break;
    case Outcome::NamedMissingColumn:
        EXPECT_THROW_CONTAINING(globDb.GetVersion(), Exception, "DATA");
        break;
    }
    // The query leaves the transaction as it found it, and its cursor closed.
    EXPECT_TRUE(globDb.Transaction().Active());
}

const VersionCase Cases[] = {
    {"NewestStoredLast",
     "create table versions (update_date timestamp, data integer);\n"
     "insert into versions values ('2010-01-01', 250);\n"
     "insert into versions values ('2011-06-01', 254);",
     Outcome::Value, 254},
    {"NewestStoredFirst",
     "create table versions (update_date timestamp, data integer);\n"
     "insert into versions values ('2011-06-01', 254);\n"
     "insert into versions values ('2010-01-01', 250);",
     Outcome::Value, 254},
    {"NullInNewestRow",
     "create table versions (update_date timestamp, data integer);\n"
     "insert into versions values ('2010-01-01', 250);\n"
     "insert into versions values ('2011-06-01', null);",
     Outcome::Value, 0},
    {"EmptyTable", "create table versions (update_date timestamp, data integer);", Outcome::Value,
     0},
    {"NumericTruncated",
     "create table versions (update_date timestamp, data numeric(9,2));\n"
     "insert into versions values ('2011-06-01', 254.99);",
     Outcome::Value, 254},
    {"NegativeNumericTowardZero",
     "create table versions (update_date timestamp, data numeric(9,2));\n"
     "insert into versions values ('2011-06-01', -254.99);",
     Outcome::Value, -254},
    {"BigNumeric",
     "create table versions (update_date timestamp, data numeric(18,4));\n"
     "insert into versions values ('2011-06-01', 254.9999);",
     Outcome::Value, 254},
    {"Smallint",
     "create table versions (update_date timestamp, data smallint);\n"
     "insert into versions values ('2011-06-01', 254);",
     Outcome::Value, 254},
    {"DoubleTruncated",
     "create table versions (update_date timestamp, data double precision);\n"
     "insert into versions values ('2011-06-01', 254.7);",
     Outcome::Value, 254},
    {"FloatTruncated",
     "create table versions (update_date timestamp, data float);\n"
     "insert into versions values ('2011-06-01', 254.5);",
     Outcome::Value, 254},
    {"VarcharNumber",
     "create table versions (update_date timestamp, data varchar(10));\n"
     "insert into versions values ('2011-06-01', '255');",
     Outcome::Value, 255},
    {"CharNumberPadded",
     "create table versions (update_date timestamp, data char(10));\n"
     "insert into versions values ('2011-06-01', '255');",
     Outcome::Value, 255},
    {"VarcharNotANumber",
     "create table versions (update_date timestamp, data varchar(10));\n"
     "insert into versions values ('2011-06-01', 'abc');",
     Outcome::ConvertError, 0, "'abc' is not a valid integer value"},
    {"BigintBeyond32Bits",
     "create table versions (update_date timestamp, data bigint);\n"
     "insert into versions values ('2011-06-01', 5000000000);",
     Outcome::ConvertError, 0, "'5000000000' is not a valid integer value"},
    {"BigintWithin32Bits",
     "create table versions (update_date timestamp, data bigint);\n"
     "insert into versions values ('2011-06-01', -2147483648);",
     Outcome::Value, -2147483647 - 1},
    {"BigintBelow32Bits",
     "create table versions (update_date timestamp, data bigint);\n"
     "insert into versions values ('2011-06-01', -2147483649);",
     Outcome::ConvertError, 0, "'-2147483649' is not a valid integer value"},
    {"DoubleBelow32Bits",
     "create table versions (update_date timestamp, data double precision);\n"
     "insert into versions values ('2011-06-01', -3e9);",
     Outcome::ConvertError, 0, "'-3000000000' is not a valid integer value"},
    {"DoubleBeyond32Bits",
     "create table versions (update_date timestamp, data double precision);\n"
     "insert into versions values ('2011-06-01', 3e9);",
     Outcome::ConvertError},
    {"TimestampData",
     "create table versions (update_date timestamp, data timestamp);\n"
     "insert into versions values ('2011-06-01', '2011-06-01');",
     Outcome::ConvertError},
    {"BlobData",
     "create table versions (update_date timestamp, data blob sub_type 1);\n"
     "insert into versions values ('2011-06-01', '255');",
     Outcome::ConvertError},
    {"NoDataColumn",
     "create table versions (update_date timestamp, version integer);\n"
     "insert into versions values ('2011-06-01', 254);",
     Outcome::NamedMissingColumn},
    {"LowerCaseQuotedColumnIsNotData",
     "create table versions (update_date timestamp, \"data\" integer);\n"
     "insert into versions values ('2011-06-01', 254);",
     Outcome::NamedMissingColumn},
};

INSTANTIATE_TEST_SUITE_P(Cases, VersionQuery, ::testing::ValuesIn(Cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VersionQueryErrors, MissingTableIsClientError) {
    TestDatabase file;
    CGlobDB globDb("/opt/app", "", file.Path());
    EXPECT_THROW_CONTAINING(globDb.GetVersion(), EFirebirdError, "VERSIONS");
}

TEST(VersionQueryErrors, MissingUpdateDateIsClientError) {
    TestDatabase file;
    file.Execute("create table versions (data integer);");
    CGlobDB globDb("/opt/app", "", file.Path());
    EXPECT_THROW(globDb.GetVersion(), EFirebirdError);
}

TEST(VersionQueryTransaction, QueryRunsInTheConnectTransactionWithoutCommit) {
    TestDatabase file;
    file.Execute("create table versions (update_date timestamp, data integer);\n"
                 "insert into versions values ('2010-01-01', 250);");
    CGlobDB globDb("/opt/app", "", file.Path());
    EXPECT_EQ(globDb.GetVersion(), 250);
    // A row committed by someone else after the transaction began stays invisible to it:
    // the query did not end and restart the transaction.
    file.Execute("insert into versions values ('2011-06-01', 254);");
    EXPECT_EQ(globDb.GetVersion(), 250);
    globDb.Transaction().Commit();
    globDb.Transaction().StartTransaction();
    EXPECT_EQ(globDb.GetVersion(), 254);
}

} // namespace
} // namespace norvane::db
