#include "db/table_ids.h"

#include "db/firebird_error.h"
#include "db/own_tables.h"
#include "db/statement.h"
#include "db/transaction.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

namespace norvane::db {

namespace {

constexpr std::string_view Probe = "NORVANE$TABLE_ID_PROBE";

// The ids from the next one the engine gives (RDB$DATABASE) on that have pages but no table:
// how many there are, and the highest.
constexpr const char* TakenIdsQuery =
    "select count(distinct p.RDB$RELATION_ID), max(p.RDB$RELATION_ID) "
    "from RDB$PAGES p cross join RDB$DATABASE d "
    "where p.RDB$RELATION_ID >= d.RDB$RELATION_ID and not exists "
    "(select 1 from RDB$RELATIONS r where r.RDB$RELATION_ID = p.RDB$RELATION_ID)";

struct TakenIds {
    std::int64_t count = 0;
    std::int64_t next = 0;
    std::int64_t highest = 0;
};

std::int64_t Number(const FieldValue& value) {
    const auto* number = std::get_if<ScaledInteger>(&value);
    return number != nullptr ? number->value : 0;
}

TakenIds ReadTakenIds(Database& database) {
    TakenIds ids;
    RunInOwnTransaction(database, [&](Transaction& transaction) {
        Statement query(transaction, Parameters::Raw);
        query.SetSql(TakenIdsQuery);
        query.Execute();
        if (query.Fetch()) {
            ids.count = Number(query.Field(0));
            ids.highest = Number(query.Field(1));
        }
        query.Close();
        query.SetSql("select RDB$RELATION_ID from RDB$DATABASE");
        query.Execute();
        if (query.Fetch())
            ids.next = Number(query.Field(0));
        query.Close();
    });
    return ids;
}

bool ProbeExists(Database& database) {
    bool exists = false;
    RunInOwnTransaction(
        database, [&](Transaction& transaction) { exists = TableExists(transaction, Probe); });
    return exists;
}

void DropProbe(Database& database) {
    RunInOwnTransaction(database, [](Transaction& transaction) {
        RunStatement(transaction, "drop table " + std::string(Probe));
    });
}

// Takes the next id with a table that has a key, so that a taken id fails at once instead
// of leaving a table behind; the table goes again when it was made.
void TakeNextId(Database& database) {
    // A run cut off between the two steps left it.
    if (ProbeExists(database))
        DropProbe(database);
    RunInOwnTransaction(database, [](Transaction& transaction) {
        RunStatement(transaction,
                     "create table " + std::string(Probe) + " (ID integer not null primary key)");
    });
    DropProbe(database);
}

} // namespace

void SkipTableIdsOfInterruptedCreates(Database& database) {
    TakenIds ids = ReadTakenIds(database);
    if (ids.count == 0)
        return;
    // Every free id below the highest taken one costs a table made, every taken one a table
    // that fails; a few more attempts cover a failure of another kind that passes.
    const std::int64_t attempts =
        std::max<std::int64_t>(ids.highest - ids.next + 1, 0) + ids.count + 2;
    std::optional<EFirebirdError> lastError;
    for (std::int64_t attempt = 0; attempt < attempts && ids.count > 0; ++attempt) {
        try {
            TakeNextId(database);
        } catch (const EFirebirdError& error) {
            if (error.IsFatal())
                throw;
            lastError = error;
        }
        ids = ReadTakenIds(database);
    }
    if (ids.count == 0)
        return;
    if (lastError)
        throw *lastError;
    throw EFirebirdError("table id " + std::to_string(ids.next) +
                             " is taken by the pages of an interrupted CREATE TABLE",
                         0, {});
}

} // namespace norvane::db
