#pragma once

#include "update/update_context.h"

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

enum class BlobLoad { Loaded, Failed };

/// Stores the bytes of the blob file path into the field its name designates, in a
/// transaction of its own. A refused name, a failure, and a key that matches no row are
/// logged to log and rolled back; they are reported by the result, never raised.
BlobLoad LoadBlobFile(UpdateContext& context, const std::string& path, const std::string& log);

/// The log a blob failure goes to: the log of the last script that had lines, or
/// path + ".log" while there is none.
std::string BlobLogPath(const std::string& lastScriptLog, const std::string& path);

} // namespace norvane::update
