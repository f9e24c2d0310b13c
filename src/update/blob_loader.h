#pragma once

#include "update/update_context.h"

#include <string>
#include <string_view>

namespace norvane::update {

/// The row and field a blob file's name designates: table.field.column value[.column value].
struct BlobTarget {
    std::string table;
    std::string field;
    /// "(column=value)and(column=value)".
    std::string condition;

    /// "update <table> set <field> = :<field> where <condition>".
    std::string StatementText() const;
};

/// Reads the target from the file name of path (after its last folder delimiter). Names
/// that do not follow the form are not refused: the database judges the statement they give.
BlobTarget ParseBlobFileName(std::string_view path);

enum class BlobLoad { Loaded, Failed };

/// Stores the bytes of the blob file path into the field its name designates, in a
/// transaction of its own. A failure is logged (see BlobLogPath) and rolled back; it is
/// reported by the result, never raised.
BlobLoad LoadBlobFile(UpdateContext& context, const std::string& path);

/// The log a blob failure goes to: LogFile, or path + ".log" while no script has set one.
std::string BlobLogPath(const UpdateContext& context, const std::string& path);

} // namespace norvane::update
