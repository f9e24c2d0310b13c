#include "service_fixtures.h"

#include "support/database_dump.h"

#include "base/sha256.h"
#include "db/statement.h"
#include "db/transaction.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <type_traits>
#include <variant>

namespace norvane::testing {

using namespace db;

const ConnectionParams ProgramAccount{"sysdba", "quillbark"};

std::string BinaryBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return bytes;
}

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
    database.SetParams(ProgramAccount);
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

bool AnyHolds(const std::vector<std::string>& lines, const std::string& fragment) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(fragment) != std::string::npos;
    });
}

void ServiceManagerTest::SetUp() {
    if (GetParam() == Engine::Server) {
        m_server = TestServer();
        if (!m_server)
            GTEST_SKIP()
                << "NORVANE_TEST_SERVER is not set; scripts/test starts a server and sets it";
    }
}

std::string ServiceManagerTest::NameOf(const std::string& path) const {
    return m_server ? *m_server + ":" + path : path;
}

ServiceManager ServiceManagerTest::Manager(const std::string& path) const {
    return ServiceManager("", NameOf(path), ProgramAccount);
}

namespace {

std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
    return info.param == Engine::Embedded ? "Embedded" : "Server";
}

} // namespace

// One instantiation for the cases of every file.
INSTANTIATE_TEST_SUITE_P(Engines, ServiceManagerTest,
                         ::testing::Values(Engine::Embedded, Engine::Server), EngineName);

} // namespace norvane::testing
