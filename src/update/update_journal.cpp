#include "update/update_journal.h"

#include "base/exceptions.h"
#include "base/text.h"
#include "db/firebird_error.h"
#include "db/glob_db.h"
#include "db/own_tables.h"
#include "db/statement.h"

#include <span>
#include <type_traits>

namespace norvane::update {

namespace {

constexpr std::string_view TableName = "NORVANE$UPDATE_JOURNAL";
// Items a package's files can never be named: scripts end in .sql, blob files in .blo.
constexpr std::string_view BlobPhaseItem = "$BLOBS";
constexpr std::string_view CompleteItem = "$COMPLETE";

[[noreturn]] void Abort(const db::EFirebirdError& error) {
    throw EUpdateAborted(EUpdateAborted::Cause::DatabaseLost,
                         "журнал оновлення: " + OneLine(error.what()));
}

// Runs work in a transaction of its own; a client error aborts the update.
template <typename Work> auto InOwnTransaction(db::CGlobDB& globDB, Work&& work) {
    db::Transaction transaction(globDB.GetDatabase());
    try {
        transaction.StartTransaction();
        if constexpr (std::is_void_v<decltype(work(transaction))>) {
            work(transaction);
            transaction.Commit();
        } else {
            auto result = work(transaction);
            transaction.Commit();
            return result;
        }
    } catch (const db::EFirebirdError& error) {
        transaction.Abandon();
        Abort(error);
    }
}

void Bind(db::Statement& statement, std::int32_t package, std::string_view item) {
    statement.SetStringParam("PACKAGE", std::to_string(package));
    statement.SetStringParam("ITEM", item);
}

void InsertMarker(db::Transaction& transaction, std::int32_t package, std::string_view item) {
    db::Statement mark(transaction, db::Parameters::Named);
    mark.SetSql("insert into NORVANE$UPDATE_JOURNAL (PACKAGE, ITEM, DIGEST, ORDINAL) "
                "values (:PACKAGE, :ITEM, '', 0)");
    Bind(mark, package, item);
    mark.Execute();
}

std::int32_t IntegerOf(const db::FieldValue& value) {
    const auto* number = std::get_if<db::ScaledInteger>(&value);
    return number != nullptr ? static_cast<std::int32_t>(number->value) : 0;
}

} // namespace

const db::OwnTable& UpdateJournal::Table() {
    // No key: the table holds the rows of one package in progress and a row per complete
    // package, and an index would cost every group another page written at its commit.
    static const db::OwnTable table{
        TableName,
        {{"PACKAGE", "integer not null", "the package (database version) a row belongs to"},
         {"ITEM", "varchar(255) not null",
          "a script or blob file of the package; $BLOBS: its blob files all loaded; $COMPLETE: "
          "the package complete"},
         {"DIGEST", "varchar(64) not null", "the SHA-256 of the script the row was recorded for"},
         {"ORDINAL", "integer not null", "how many statements the row records"},
         // The table of an installer that recorded every statement on a row of its own lacks it.
         {"DONE", "blob sub_type 0", "the statements done: their texts' digests and occurrences"}},
        "norvane-update: what of each package's update is done, so that an interrupted update "
        "resumes without running a statement twice. Needed while a package is unfinished; "
        "otherwise one $COMPLETE row a package. Safe to drop when no installer runs and the "
        "last update ended."};
    return table;
}

UpdateJournal::UpdateJournal(db::CGlobDB& globDB) : m_globDB(globDB) {}

UpdateJournal::~UpdateJournal() = default;

void UpdateJournal::Open() {
    try {
        db::EnsureOwnTables(m_globDB.GetDatabase(), std::span(&Table(), 1));
    } catch (const db::EFirebirdError& error) {
        Abort(error);
    }
}

std::optional<std::int32_t> UpdateJournal::UnfinishedPackage() {
    return InOwnTransaction(m_globDB, [&](db::Transaction& transaction) {
        std::optional<std::int32_t> package;
        if (!db::TableExists(transaction, TableName))
            return package;
        db::Statement query(transaction, db::Parameters::Raw);
        query.SetSql("select max(j.PACKAGE) from NORVANE$UPDATE_JOURNAL j where not exists "
                     "(select 1 from NORVANE$UPDATE_JOURNAL c where c.PACKAGE = j.PACKAGE and "
                     "c.ITEM = '" +
                     std::string(CompleteItem) + "')");
        query.Execute();
        if (query.Fetch()) {
            const db::FieldValue newest = query.Field(0);
            if (std::holds_alternative<db::ScaledInteger>(newest))
                package = IntegerOf(newest);
        }
        query.Close();
        return package;
    });
}

UpdateJournal::ItemRecords UpdateJournal::Records(std::int32_t package, const std::string& item) {
    return InOwnTransaction(m_globDB, [&](db::Transaction& transaction) {
        ItemRecords records;
        db::Statement query(transaction, db::Parameters::Named);
        query.SetSql("select ORDINAL, DIGEST, DONE from NORVANE$UPDATE_JOURNAL "
                     "where PACKAGE = :PACKAGE and ITEM = :ITEM");
        Bind(query, package, item);
        query.Execute();
        while (query.Fetch()) {
            const db::FieldValue done = query.Field(2);
            if (const auto* keys = std::get_if<db::BlobBytes>(&done)) {
                for (const StepKey& key : UnpackKeys(keys->bytes))
                    records.done.insert(key);
                records.doneDigests.insert(std::get<std::string>(query.Field(1)));
                continue;
            }
            records.doneOrdinals.insert(IntegerOf(query.Field(0)));
            records.ordinalsDigest = std::get<std::string>(query.Field(1));
        }
        query.Close();
        return records;
    });
}

std::set<std::string> UpdateJournal::BlobFilesLoadedByName(std::int32_t package) {
    return InOwnTransaction(m_globDB, [&](db::Transaction& transaction) {
        std::set<std::string> names;
        db::Statement query(transaction, db::Parameters::Named);
        query.SetSql("select ITEM from NORVANE$UPDATE_JOURNAL where PACKAGE = :PACKAGE and "
                     "DONE is null and ORDINAL = 1 and upper(ITEM) like '%.BLO'");
        query.SetStringParam("PACKAGE", std::to_string(package));
        query.Execute();
        while (query.Fetch())
            names.insert(std::get<std::string>(query.Field(0)));
        query.Close();
        return names;
    });
}

void UpdateJournal::Record(db::Transaction& transaction, std::int32_t package,
                           const std::string& item, const std::string& itemDigest,
                           std::span<const StepKey> keys) {
    if (&transaction != &m_globDB.Transaction())
        throw EMisuse("Journal records ride in the connection's default transaction");
    // Prepared once, in the first record's transaction; the prepared statement serves every
    // later one.
    if (!m_record) {
        m_record = std::make_unique<db::Statement>(m_globDB.GetDatabase(), db::Parameters::Named);
        m_record->SetSql(
            "insert into NORVANE$UPDATE_JOURNAL (PACKAGE, ITEM, DIGEST, ORDINAL, DONE) "
            "values (:PACKAGE, :ITEM, :DIGEST, :ORDINAL, :DONE)");
    }
    Bind(*m_record, package, item);
    m_record->SetStringParam("DIGEST", itemDigest);
    m_record->SetStringParam("ORDINAL", std::to_string(keys.size()));
    const std::string packed = PackKeys(keys);
    m_record->SetBlobParam("DONE", std::as_bytes(std::span(packed.data(), packed.size())));
    m_record->Execute();
}

bool UpdateJournal::BlobPhaseDone(std::int32_t package) {
    return InOwnTransaction(m_globDB, [&](db::Transaction& transaction) {
        db::Statement query(transaction, db::Parameters::Named);
        query.SetSql("select count(*) from NORVANE$UPDATE_JOURNAL "
                     "where PACKAGE = :PACKAGE and ITEM = :ITEM");
        Bind(query, package, BlobPhaseItem);
        query.Execute();
        const bool done = query.Fetch() && IntegerOf(query.Field(0)) > 0;
        query.Close();
        return done;
    });
}

void UpdateJournal::MarkBlobPhaseDone(std::int32_t package) {
    InOwnTransaction(m_globDB, [&](db::Transaction& transaction) {
        InsertMarker(transaction, package, BlobPhaseItem);
    });
}

void UpdateJournal::FinishPackage(std::int32_t package) {
    InOwnTransaction(m_globDB, [&](db::Transaction& transaction) {
        db::Statement drop(transaction, db::Parameters::Named);
        drop.SetSql("delete from NORVANE$UPDATE_JOURNAL where PACKAGE = :PACKAGE");
        drop.SetStringParam("PACKAGE", std::to_string(package));
        drop.Execute();
        InsertMarker(transaction, package, CompleteItem);
    });
}

} // namespace norvane::update
