#pragma once

#include "update/update_context.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::update {

/// The row and field a blob file's name designates: table.field.column value[.column value].
struct BlobTarget {
    std::string table;
    std::string field;
    /// The key groups as the name writes them: "column value".
    std::vector<std::string> keys;
    /// "(column=value)and(column=value)".
    std::string condition;

    /// "update <table> set <field> = :<field> where <condition>".
    std::string StatementText() const;
    /// Why the name is not run, or nothing: the table, the field and every key column must
    /// be plain identifiers and every key value an integer or a quoted literal, so that the
    /// name cannot write anything into the statement but a row's key.
    std::optional<std::string> Refusal() const;
};

/// Reads the target from the file name of path (after its last folder delimiter).
BlobTarget ParseBlobFileName(std::string_view path);

enum class BlobLoad { Loaded, Failed, LoadedBefore };

class StepGroup;
class StepKeys;

/// The blob files of a package, loaded in groups (StepGroup, item "$BLOB"): each file is a
/// step whose key is its name with its bytes' digest.
class BlobLoader {
public:
    explicit BlobLoader(UpdateContext& context);
    ~BlobLoader();
    BlobLoader(const BlobLoader&) = delete;
    BlobLoader& operator=(const BlobLoader&) = delete;

    /// Stores the bytes of the blob file path into the field its name designates, with the
    /// outcome of a transaction of its own. A refused name, a failure, and a key that matches
    /// no row are logged to log and undone; they are reported by the result, never raised.
    /// A file an interrupted run loaded is not loaded again.
    BlobLoad LoadBlobFile(const std::string& path, const std::string& log);

    /// Commits the files loaded since the last commit.
    void Commit();
    /// The loads that failed, also those of a group run again, and the logs they went to.
    int Failures() const;
    const std::vector<std::string>& FailureLogs() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// The log a blob failure goes to: the log of the last script that had lines, or
/// path + ".log" while there is none.
std::string BlobLogPath(const std::string& lastScriptLog, const std::string& path);

} // namespace norvane::update
