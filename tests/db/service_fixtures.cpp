#include "service_fixtures.h"

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

namespace {

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

} // namespace

// A restore writes 0 where the engine left some types and indices NULL; both read as 0.
std::string Dump(const std::string& databaseName) {
    Database database("");
    database.SetDatabaseName(databaseName);
    database.SetParams(ProgramAccount);
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
