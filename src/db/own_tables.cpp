#include "db/own_tables.h"

#include "db/firebird_error.h"
#include "db/statement.h"
#include "db/table_ids.h"
#include "db/transaction.h"

#include <ibase.h>

#include <algorithm>
#include <regex>
#include <set>

namespace norvane::db {

namespace {

// What one table lacks: all of it, or some columns.
struct Lack {
    const OwnTable* table;
    bool whole = false;
    std::vector<const OwnColumn*> columns;
};

std::set<std::string> ColumnsOf(Transaction& transaction, std::string_view table) {
    Statement query(transaction, Parameters::Named);
    query.SetSql("select trim(rdb$field_name) from rdb$relation_fields "
                 "where rdb$relation_name = :TABLE");
    query.SetStringParam("TABLE", table);
    query.Execute();
    std::set<std::string> columns;
    while (query.Fetch())
        columns.insert(std::get<std::string>(query.Field(0)));
    query.Close();
    return columns;
}

std::vector<Lack> WhatIsMissing(Database& database, std::span<const OwnTable> tables) {
    std::vector<Lack> lacks;
    RunInOwnTransaction(database, [&](Transaction& transaction) {
        for (const OwnTable& table : tables) {
            if (!TableExists(transaction, table.name)) {
                lacks.push_back({&table, true, {}});
                continue;
            }
            const std::set<std::string> present = ColumnsOf(transaction, table.name);
            Lack lack{&table, false, {}};
            for (const OwnColumn& column : table.columns) {
                if (!present.contains(std::string(column.name)))
                    lack.columns.push_back(&column);
            }
            if (!lack.columns.empty())
                lacks.push_back(std::move(lack));
        }
    });
    return lacks;
}

std::string Literal(std::string_view text) {
    std::string literal = "'";
    for (const char c : text)
        literal += c == '\'' ? std::string("''") : std::string(1, c);
    return literal + "'";
}

void Describe(Transaction& transaction, const OwnTable& table,
              const std::vector<const OwnColumn*>& columns) {
    const std::string name(table.name);
    RunStatement(transaction, "comment on table " + name + " is " + Literal(table.comment));
    for (const OwnColumn* column : columns)
        RunStatement(transaction, "comment on column " + name + "." + std::string(column->name) +
                                      " is " + Literal(column->comment));
}

void Make(Transaction& transaction, const Lack& lack) {
    const OwnTable& table = *lack.table;
    const std::string name(table.name);
    if (lack.whole) {
        std::string columns;
        std::vector<const OwnColumn*> all;
        for (const OwnColumn& column : table.columns) {
            columns += (columns.empty() ? "" : ", ") + std::string(column.name) + " " +
                       std::string(column.definition);
            all.push_back(&column);
        }
        RunStatement(transaction, "create table " + name + " (" + columns + ")");
        Describe(transaction, table, all);
        return;
    }
    for (const OwnColumn* column : lack.columns)
        RunStatement(transaction, "alter table " + name + " add " + std::string(column->name) +
                                      " " + std::string(column->definition));
    Describe(transaction, table, lack.columns);
}

// A name another connection took first: the engine's own index of names refuses the
// duplicate, or the metadata update says the object already exists.
bool IsAlreadyMade(const EFirebirdError& error) {
    const auto& codes = error.GdsCodes();
    return std::any_of(
               codes.begin(), codes.end(),
               [](long code) { return code == isc_no_dup || code == isc_unique_key_violation; }) ||
           std::string_view(error.what()).find("already exists") != std::string_view::npos;
}

// "UPDATE access to COLUMN T.C" is granted as "UPDATE (C) ON T"; an object is altered or
// dropped by its owner or by a user allowed to do so to any object of its kind.
std::string RightOnObject(const std::string& right, const std::string& kind,
                          const std::string& object) {
    if (right == "ALTER" || right == "DROP")
        return right + " ANY " + kind;
    if (const std::size_t dot = object.rfind('.'); kind == "COLUMN" && dot != std::string::npos)
        return right + " (" + object.substr(dot + 1) + ") ON " + object.substr(0, dot);
    return right + " ON " + (kind == "TABLE" ? object : kind + " " + object);
}

} // namespace

bool TableExists(Transaction& transaction, std::string_view name) {
    Statement query(transaction, Parameters::Named);
    query.SetSql("select count(*) from rdb$relations where rdb$relation_name = :NAME");
    query.SetStringParam("NAME", name);
    query.Execute();
    const bool found = query.Fetch() && std::get<ScaledInteger>(query.Field(0)).value > 0;
    query.Close();
    return found;
}

bool OwnTablesComplete(Database& database, std::span<const OwnTable> tables) {
    return WhatIsMissing(database, tables).empty();
}

void EnsureOwnTables(Database& database, std::span<const OwnTable> tables) {
    // A connection that made one of them meanwhile leaves less to make on the next round.
    constexpr int Rounds = 3;
    for (int round = 1;; ++round) {
        const std::vector<Lack> lacks = WhatIsMissing(database, tables);
        if (lacks.empty())
            return;
        if (std::any_of(lacks.begin(), lacks.end(), [](const Lack& lack) { return lack.whole; }))
            SkipTableIdsOfInterruptedCreates(database);
        try {
            RunInOwnTransaction(database, [&](Transaction& transaction) {
                for (const Lack& lack : lacks)
                    Make(transaction, lack);
            });
            return;
        } catch (const EFirebirdError& error) {
            if (error.IsFatal() || !IsAlreadyMade(error) || round == Rounds)
                throw;
        }
    }
}

std::optional<std::string> MissingRight(const EFirebirdError& error) {
    const std::string text = error.what();
    std::smatch match;
    // "no permission for INSERT access to TABLE NORVANE$UPDATE_LOCK"
    static const std::regex access(R"(no permission for (\w+) access to (\w+) (\S+))");
    if (std::regex_search(text, match, access))
        return RightOnObject(match[1].str(), match[2].str(), match[3].str());
    // "CREATE TABLE NORVANE$UPDATE_LOCK failed" followed by "There is no privilege for this
    // operation": a right on a kind of object, not on one of them.
    static const std::regex statement(R"((CREATE|ALTER|DROP) (\w+) \S+ failed)");
    if (text.find("There is no privilege for this operation") != std::string::npos &&
        std::regex_search(text, match, statement))
        return match[1] == "CREATE" ? "CREATE " + match[2].str()
                                    : match[1].str() + " ANY " + match[2].str();
    return std::nullopt;
}

void DoOnce(Database& database, const std::function<bool(Transaction&)>& done,
            const std::function<void(Transaction&)>& work) {
    bool doneAlready = false;
    const auto check = [&](Transaction& transaction) { doneAlready = done(transaction); };
    RunInOwnTransaction(database, check);
    if (doneAlready)
        return;
    try {
        RunInOwnTransaction(database, work);
    } catch (const EFirebirdError& error) {
        if (error.IsFatal())
            throw;
        RunInOwnTransaction(database, check);
        if (!doneAlready)
            throw;
    }
}

void RunInOwnTransaction(Database& database, const std::function<void(Transaction&)>& work) {
    Transaction transaction(database);
    transaction.StartTransaction();
    work(transaction);
    transaction.Commit();
}

void RunStatement(Transaction& transaction, const std::string& sql) {
    Statement statement(transaction, Parameters::Raw);
    statement.SetSql(sql);
    statement.Execute();
}

} // namespace norvane::db
