#include "db/glob_db.h"

#include "base/exceptions.h"
#include "base/text.h"
#include "db/statement.h"
#include "platform/paths.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <type_traits>

namespace norvane::db {

namespace {

constexpr std::string_view DefaultUser = "sysdba";
constexpr std::string_view DefaultPassword = "quillbark";
constexpr std::string_view FallbackDatabase = "vuvavari.fdb";

std::int32_t CheckedInt32(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        throw EConvertError(NotAnIntegerMessage(std::to_string(value)));
    return static_cast<std::int32_t>(value);
}

std::int32_t ScaledToInt32(const ScaledInteger& number) {
    std::int64_t value = number.value;
    // Integer division truncates toward zero, which is the rule for the fraction.
    for (int scale = number.scale; scale < 0; ++scale)
        value /= 10;
    return CheckedInt32(value);
}

std::int32_t FloatToInt32(double value) {
    const double truncated = std::trunc(value);
    if (!std::isfinite(truncated) || truncated < std::numeric_limits<std::int32_t>::min() ||
        truncated > std::numeric_limits<std::int32_t>::max()) {
        char text[64];
        std::snprintf(text, sizeof text, "%.17g", value);
        throw EConvertError(NotAnIntegerMessage(text));
    }
    return static_cast<std::int32_t>(truncated);
}

std::int32_t VersionFromField(const FieldValue& value) {
    return std::visit(
        [](const auto& field) -> std::int32_t {
            using T = std::decay_t<decltype(field)>;
            if constexpr (std::is_same_v<T, Null>)
                return 0;
            else if constexpr (std::is_same_v<T, ScaledInteger>)
                return ScaledToInt32(field);
            else if constexpr (std::is_same_v<T, double>)
                return FloatToInt32(field);
            else if constexpr (std::is_same_v<T, std::string>)
                return StrToInt32(field);
            else if constexpr (std::is_same_v<T, BlobBytes>)
                throw EConvertError("A BLOB value cannot be converted to an integer");
            else
                throw EConvertError("A " + field.typeName +
                                    " value cannot be converted to an integer");
        },
        value);
}

} // namespace

CGlobDB::CGlobDB(std::string exeDir, std::string_view server, std::string_view path)
    : m_exeDir(std::move(exeDir)), m_database(std::make_unique<db::Database>(m_exeDir)),
      m_transaction(std::make_unique<db::Transaction>(*m_database)) {
    m_database->SetDefaultTransaction(m_transaction.get());
    if (!TrimControl(path).empty())
        Connect(server, path, "", "");
}

void CGlobDB::Connect(std::string_view server, std::string_view path, std::string_view user,
                      std::string_view password) {
    std::string name =
        TrimControl(path).empty() ? JoinPath(m_exeDir, FallbackDatabase) : std::string(path);
    if (const std::string_view host = TrimControl(server); !host.empty())
        name = std::string(host) + ":" + name;

    if (m_database->Connected())
        m_database->Close();

    m_database->SetDatabaseName(std::move(name));
    m_database->SetDefaultTransaction(m_transaction.get());
    // The default password goes only with the default user.
    ConnectionParams params =
        user.empty() ? ConnectionParams{std::string(DefaultUser), std::string(DefaultPassword)}
                     : ConnectionParams{std::string(user), std::string(password)};
    // Without a server the engine runs in this process and dies with it, also in the middle
    // of a page write.
    params.DirectPageWrites = TrimControl(server).empty();
    m_database->SetParams(std::move(params));

    m_database->Open();
    m_transaction->StartTransaction();
}

std::int32_t CGlobDB::GetVersion() {
    Statement query(*m_database, Parameters::Raw);
    query.SetSql("select * from versions order by update_date desc");
    query.Execute();
    std::int32_t version = 0;
    if (query.Fetch())
        version = VersionFromField(query.Field(query.FieldIndex("DATA")));
    query.Close();
    return version;
}

std::int32_t CGlobDB::CommittedVersion() {
    if (m_transaction->Active())
        m_transaction->Commit();
    m_transaction->StartTransaction();
    const std::int32_t version = GetVersion();
    m_transaction->Commit();
    return version;
}

} // namespace norvane::db
