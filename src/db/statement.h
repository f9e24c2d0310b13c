#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace norvane::db {

class Database;

/// Whether ":NAME" markers in the text are statement parameters (sent as "?").
enum class Parameters { Named, Raw };

/// One value of a result column.
struct Null {};
struct ScaledInteger {
    std::int64_t value = 0;
    int scale = 0; // decimal places: value * 10^scale
};
struct Unsupported {
    std::string typeName;
};
using FieldValue = std::variant<Null, ScaledInteger, double, std::string, Unsupported>;

/// A DSQL statement bound to a database; it runs in the database's default transaction.
class Statement {
public:
    Statement(Database& database, Parameters parameters);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    /// The text as given; the text logged for a failure.
    void SetSql(std::string text);
    const std::string& Sql() const;

    /// Prepares the text (named parameters replaced by "?") in the database's dialect.
    void Prepare();
    /// Prepares when needed and executes; a select opens its cursor.
    void Execute();
    /// The next row of an open cursor; false after the last.
    bool Fetch();
    /// Closes an open cursor.
    void Close();

    /// The index of a result column, names compared exactly; raises when missing.
    std::size_t FieldIndex(std::string_view name) const;
    FieldValue Field(std::size_t index) const;

    /// Creates a blob in the transaction from bytes (segments of at most 16384 bytes) and
    /// binds it to the named parameter. Prepares when needed; raises for an unknown name.
    void SetBlobParam(std::string_view name, std::span<const std::byte> bytes);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace norvane::db
