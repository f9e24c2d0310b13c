#include "support/database_dump.h"

#include "base/sha256.h"
#include "db/database.h"
#include "db/statement.h"
#include "db/transaction.h"

#include <algorithm>
#include <cstdio>
#include <type_traits>
#include <variant>
#include <vector>

namespace norvane::testing {

using namespace db;

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
std::string Dump(const std::string& databaseName, OwnTables ownTables) {
    Database database("");
    database.SetDatabaseName(databaseName);
    database.SetParams({"sysdba", "quillbark"});
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
    // The installer's own tables hold how an update went, not what it did.
    const std::string ownTablesLeftOut = ownTables == OwnTables::LeftOut
                                             ? " and rdb$relation_name not starting with 'NORVANE$'"
                                             : std::string();
    add("database", Rows(database, "select mon$page_size, mon$sql_dialect from mon$database"));
    add("columns",
        Rows(database,
             "select r.rdb$relation_name, f.rdb$field_name, f.rdb$field_position, "
             "t.rdb$field_type, coalesce(t.rdb$field_sub_type, 0), t.rdb$field_length, "
             "t.rdb$field_scale, "
             "t.rdb$character_set_id, f.rdb$null_flag, t.rdb$null_flag, "
             "cast(f.rdb$default_source as varchar(200)), "
             "cast(t.rdb$default_source as varchar(200)), "
             "cast(r.rdb$view_source as varchar(2000)) "
             "from rdb$relations r join rdb$relation_fields f "
             "on f.rdb$relation_name = r.rdb$relation_name "
             "join rdb$fields t on t.rdb$field_name = f.rdb$field_source "
             "where coalesce(r.rdb$system_flag, 0) = 0" +
                 (ownTables == OwnTables::LeftOut
                      ? std::string(" and r.rdb$relation_name not starting with 'NORVANE$'")
                      : std::string()) +
                 " order by 1, 3"));
    add("indices", Rows(database, std::string("select i.rdb$index_name, i.rdb$relation_name, "
                                              "i.rdb$unique_flag, coalesce(i.rdb$index_type, 0), "
                                              "s.rdb$field_name, s.rdb$field_position "
                                              "from rdb$indices i join rdb$index_segments s "
                                              "on s.rdb$index_name = i.rdb$index_name where ") +
                                      userObject +
                                      (ownTables == OwnTables::LeftOut
                                           ? " and i.rdb$relation_name not starting with 'NORVANE$'"
                                           : "") +
                                      " order by 1, 6"));
    add("constraints", Rows(database, "select rdb$constraint_name, rdb$constraint_type, "
                                      "rdb$relation_name, rdb$index_name "
                                      "from rdb$relation_constraints "
                                      "where rdb$relation_name not starting with 'RDB$' "
                                      "and rdb$relation_name not starting with 'MON$' " +
                                          ownTablesLeftOut + " order by 1"));
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
                        "and coalesce(rdb$system_flag, 0) = 0" +
                            ownTablesLeftOut + " order by 1")) {
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

} // namespace norvane::testing
