#include "db/database.h"

#include "base/exceptions.h"
#include "db/internal.h"
#include "db/parameter_block.h"
#include "platform/paths.h"

#include <algorithm>
#include <string_view>

namespace norvane::db {

namespace {

// Statements run in dialect 3 unless the database's own is lower.
constexpr int RequestedDialect = 3;

// The parameter block: version byte, then one tag, length byte and value per parameter.
std::string BuildParameterBlock(const ConnectionParams& params) {
    std::string block(1, static_cast<char>(isc_dpb_version1));
    AppendShortParameter(block, isc_dpb_user_name, params.UserName, "A connection parameter");
    AppendShortParameter(block, isc_dpb_password, params.Password, "A connection parameter");
    // Paths are UTF-8 inside the program. Without this flag the client converts the name from
    // the system's character set, which fails for Cyrillic letters under a C locale on Linux
    // and for anything outside the ANSI code page on Windows.
    AppendShortParameter(block, isc_dpb_utf8_filename, {}, "A connection parameter");
    // A threshold of no pages turns the file system cache off for the database.
    if (params.DirectPageWrites)
        AppendShortParameter(block, isc_dpb_config, "FileSystemCacheThreshold = 0",
                             "A connection parameter");
    return block;
}

} // namespace

Database::Database(const std::string& exeDir)
    : m_impl(std::make_unique<Impl>(Client::Load(exeDir))) {}

Database::~Database() {
    if (Transaction* transaction = m_impl->defaultTransaction)
        transaction->m_impl->handle.Reset();
    m_impl->attachment.Reset();
}

void Database::SetDatabaseName(std::string name) {
    m_impl->name = std::move(name);
}

const std::string& Database::DatabaseName() const {
    return m_impl->name;
}

void Database::SetParams(ConnectionParams params) {
    m_impl->params = std::move(params);
}

const ConnectionParams& Database::Params() const {
    return m_impl->params;
}

int Database::EffectiveDialect() const {
    return std::min(m_impl->databaseDialect, RequestedDialect);
}

void Database::SetDefaultTransaction(Transaction* transaction) {
    if (transaction && &transaction->GetDatabase() != this)
        throw EMisuse("The transaction belongs to another database");
    m_impl->defaultTransaction = transaction;
}

Transaction* Database::DefaultTransaction() const {
    return m_impl->defaultTransaction;
}

bool Database::Connected() const {
    return m_impl->attachment.Valid();
}

void Database::Open() {
    if (Connected())
        throw EMisuse("The database " + m_impl->name + " is already open");
    const Client& api = *m_impl->client;
    const std::string block = BuildParameterBlock(m_impl->params);
    // The configuration cannot give a longer name: its values are cut at 2047 characters.
    if (m_impl->name.size() > 32767)
        throw EMisuse("The database name is too long");
    AttachmentHandle attachment(m_impl->client);
    ISC_STATUS_ARRAY status{};
    api.isc_attach_database(status, static_cast<short>(m_impl->name.size()), m_impl->name.c_str(),
                            attachment.Ptr(), static_cast<short>(block.size()), block.data());
    api.Check(status);

    const char items[] = {isc_info_db_sql_dialect, isc_info_end};
    char answer[64] = {};
    api.isc_database_info(status, attachment.Ptr(), sizeof items, items, sizeof answer, answer);
    api.Check(status);
    // A database that does not report its dialect predates dialects: it is dialect 1.
    int dialect = 1;
    for (const char* item = answer; item < answer + sizeof answer - 3 && *item != isc_info_end;) {
        const auto length = static_cast<short>(api.isc_vax_integer(const_cast<char*>(item + 1), 2));
        if (length < 0 || item + 3 + length > answer + sizeof answer)
            break;
        if (*item == isc_info_db_sql_dialect && length > 0)
            dialect = static_cast<int>(api.isc_vax_integer(const_cast<char*>(item + 3), length));
        if (*item == isc_info_truncated || *item == isc_info_error)
            break;
        item += 3 + length;
    }
    m_impl->databaseDialect = dialect;
    m_impl->attachment = std::move(attachment);
}

bool Database::ReadOnly() const {
    if (!Connected())
        throw EMisuse("The database " + m_impl->name + " is not open");
    const Client& api = *m_impl->client;
    const char items[] = {isc_info_db_read_only, isc_info_end};
    char answer[16] = {};
    ISC_STATUS_ARRAY status{};
    api.isc_database_info(status, m_impl->attachment.Ptr(), sizeof items, items, sizeof answer,
                          answer);
    api.Check(status);
    if (answer[0] != isc_info_db_read_only)
        return false;
    const auto length = static_cast<short>(api.isc_vax_integer(answer + 1, 2));
    return length > 0 && length <= 4 && api.isc_vax_integer(answer + 3, length) != 0;
}

void Database::Close() {
    if (!Connected())
        return;
    if (Transaction* transaction = m_impl->defaultTransaction; transaction && transaction->Active())
        transaction->Commit();
    ISC_STATUS_ARRAY status{};
    m_impl->client->isc_detach_database(status, m_impl->attachment.Ptr());
    m_impl->client->Check(status);
}

void Database::Drop() {
    if (!Connected())
        throw EMisuse("The database " + m_impl->name + " is not open");
    if (Transaction* transaction = m_impl->defaultTransaction; transaction && transaction->Active())
        transaction->Rollback();
    ISC_STATUS_ARRAY status{};
    m_impl->client->isc_drop_database(status, m_impl->attachment.Ptr());
    m_impl->client->Check(status);
}

} // namespace norvane::db
