#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace norvane::db {

class Database;
class Transaction;

/// Whether ":NAME" markers in the text are statement parameters (sent as "?"). Raw text is
/// sent as it is and binds no parameter at all.
enum class Parameters { Named, Raw };

/// One value of a result column.
struct Null {};
/// SMALLINT, INTEGER, BIGINT, and NUMERIC/DECIMAL stored in them: the number is
/// value * 10^scale (scale is 0 or negative, the server's sqlscale).
struct ScaledInteger {
    std::int64_t value = 0;
    int scale = 0;
};
/// The bytes of a blob column, read whole.
struct BlobBytes {
    std::string bytes;
};
/// A type this layer does not read (date, time, timestamp, boolean, array).
struct Unsupported {
    std::string typeName;
};
/// CHAR values come without their padding blanks; VARCHAR values as stored.
using FieldValue = std::variant<Null, ScaledInteger, double, std::string, BlobBytes, Unsupported>;

/// What a prepared statement does, as the server reports it.
enum class StatementType {
    Select,
    SelectForUpdate,
    Insert,
    Update,
    Delete,
    Ddl,
    ExecProcedure,
    StartTransaction,
    Commit,
    Rollback,
    SetGenerator,
    Savepoint,
    Other,
};

/// A DSQL statement bound to a database; it runs in the database's default transaction.
class Statement {
public:
    Statement(Database& database, Parameters parameters);
    /// A statement that runs in transaction instead of the database's default one.
    Statement(Transaction& transaction, Parameters parameters);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    /// The text to run, prepared at the first execution or binding.
    void SetSql(std::string text);

    /// Prepares the text (named parameters replaced by "?") in the database's dialect.
    void Prepare();
    /// What the prepared statement does.
    StatementType Type() const;
    /// Prepares when needed and executes; a select opens its cursor.
    void Execute();
    /// The rows the last execution inserted, updated or deleted, as the server counts them.
    std::int64_t RowsAffected() const;
    /// The next row of an open cursor; false after the last.
    bool Fetch();
    /// Closes an open cursor.
    void Close();

    /// The number of result columns of the prepared statement.
    std::size_t FieldCount() const;
    /// The index of a result column by its name (alias), compared exactly; raises Exception
    /// when the statement has no such column.
    std::size_t FieldIndex(std::string_view name) const;
    /// The value of a column of the current row. A blob is read in the default transaction.
    FieldValue Field(std::size_t index) const;

    /// Creates a blob in the transaction from bytes (segments of at most 16384 bytes) and
    /// binds it to the named parameter (names compared without ASCII case). Prepares when
    /// needed. A parameter stays NULL until it is set; a name the statement does not have
    /// is EMisuse.
    void SetBlobParam(std::string_view name, std::span<const std::byte> bytes);
    /// Binds text to the named parameter; the server converts it to the column's type.
    void SetStringParam(std::string_view name, std::string_view text);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace norvane::db
