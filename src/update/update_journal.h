#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace norvane::db {
class CGlobDB;
class Statement;
} // namespace norvane::db

namespace norvane::update {

/// What of a package's update is done, kept in the product database beside the data it
/// changed (table NORVANE$UPDATE_JOURNAL: package, item, digest, ordinal), so that an update
/// cut off at any moment resumes where it stopped and runs no committed statement twice.
///
/// Every statement of a script and every blob file is recorded in the transaction it runs
/// in, before it runs, so that its record and its work are committed together or not at
/// all (a COMMIT WORK of the script's own commits both). A package's records go when the
/// package is complete; one row then says so.
///
/// Any client error here raises EUpdateAborted: without its journal an update cannot tell
/// what it has done.
class UpdateJournal {
public:
    explicit UpdateJournal(db::CGlobDB& globDB);
    ~UpdateJournal();
    UpdateJournal(const UpdateJournal&) = delete;
    UpdateJournal& operator=(const UpdateJournal&) = delete;

    /// Makes the table on first use.
    void Open();

    /// The newest package whose update did not reach its end, or nothing. Reads only; a
    /// database without the table has none.
    std::optional<std::int32_t> UnfinishedPackage();

    /// What is recorded of one item (a script, a blob file) of a package.
    struct Progress {
        /// The item was recorded with another digest: its records were dropped.
        bool changed = false;
        /// The ordinals of its steps that are done.
        std::set<std::int32_t> done;
    };
    /// Starts the records of an item; its steps are recorded by RecordStep until the next
    /// BeginItem.
    Progress BeginItem(std::int32_t package, const std::string& item, const std::string& digest);

    /// Records that step ordinal of the current item is done, inside the transaction the
    /// step runs in (the connection's default one), before the step's own work.
    void RecordStep(std::int32_t ordinal);

    /// Whether the blob phase of a package ran to its end.
    bool BlobPhaseDone(std::int32_t package);
    void MarkBlobPhaseDone(std::int32_t package);

    /// Records that a package is complete: its statements, blob files and program files are
    /// in place. Its step records go; one row stays.
    void FinishPackage(std::int32_t package);

private:
    struct Item {
        std::int32_t package = 0;
        std::string name;
        std::string digest;
    };

    db::CGlobDB& m_globDB;
    Item m_item;
    std::unique_ptr<db::Statement> m_record;
    bool m_recordPrepared = false;
};

} // namespace norvane::update
