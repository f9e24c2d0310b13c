#pragma once

#include "update/step_key.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>

namespace norvane::db {
struct OwnTable;
class CGlobDB;
class Statement;
class Transaction;
} // namespace norvane::db

namespace norvane::update {

/// What of a package's update is done, kept in the product database beside the data it
/// changed (table NORVANE$UPDATE_JOURNAL: package, item, digest, ordinal, done), so that an
/// update cut off at any moment resumes where it stopped and runs no committed statement
/// twice.
///
/// The steps a transaction did (statements of a script, blob files) are recorded in that
/// transaction, one row for all of them, so that the record and the work are committed
/// together or not at all. Each step is recorded by its key (its own text's digest and
/// occurrence), so that a re-issued package is matched statement by statement. A package's
/// records go when the package is complete; one row then says so.
///
/// Any client error here raises EUpdateAborted: without its journal an update cannot tell
/// what it has done.
class UpdateJournal {
public:
    /// The table, as db::EnsureOwnTables makes it.
    static const db::OwnTable& Table();

    explicit UpdateJournal(db::CGlobDB& globDB);
    ~UpdateJournal();
    UpdateJournal(const UpdateJournal&) = delete;
    UpdateJournal& operator=(const UpdateJournal&) = delete;

    /// Makes the table on first use, and adds what an earlier version's table lacks (the
    /// install makes it together with the lock's table, before it).
    void Open();

    /// The newest package whose update did not reach its end, or nothing. Reads only; a
    /// database without the table has none.
    std::optional<std::int32_t> UnfinishedPackage();

    /// What is recorded of one item (a script, the blob files) of a package.
    struct ItemRecords {
        /// The steps done, by key; a key done twice is there twice. And the item's digests
        /// they were recorded with: more than one, or another than the item's now, when the
        /// package was re-issued meanwhile.
        std::multiset<StepKey> done;
        std::set<std::string> doneDigests;
        /// Steps an earlier version of the installer recorded by their place in the item, and
        /// the item's digest then: they count only for an item with that digest.
        std::set<std::int32_t> doneOrdinals;
        std::string ordinalsDigest;

        bool Empty() const { return done.empty() && doneOrdinals.empty(); }
    };
    ItemRecords Records(std::int32_t package, const std::string& item);

    /// The blob files an earlier version of the installer recorded as loaded, by name.
    std::set<std::string> BlobFilesLoadedByName(std::int32_t package);

    /// Records, in transaction, before it is committed, that the steps of keys are done. A
    /// client error is raised as it is: it fails the transaction the steps ran in.
    void Record(db::Transaction& transaction, std::int32_t package, const std::string& item,
                const std::string& itemDigest, std::span<const StepKey> keys);

    /// Whether the blob phase of a package ran to its end.
    bool BlobPhaseDone(std::int32_t package);
    void MarkBlobPhaseDone(std::int32_t package);

    /// Records that a package is complete: its statements, blob files and program files are
    /// in place. Its step records go; one row stays.
    void FinishPackage(std::int32_t package);

private:
    db::CGlobDB& m_globDB;
    std::unique_ptr<db::Statement> m_record;
};

} // namespace norvane::update
