#include "db/database.h"

#include "base/exceptions.h"
#include "base/text.h"
#include "db/internal.h"
#include "platform/paths.h"

#include <string_view>

namespace norvane::db {

namespace {

// The parameter block: version byte, then one tag, length byte and value per parameter.
std::string BuildParameterBlock(const std::vector<std::string>& params) {
    std::string block(1, static_cast<char>(isc_dpb_version1));
    for (const std::string& line : params) {
        const auto equals = line.find('=');
        const std::string_view name = TrimControl(
            std::string_view(line).substr(0, equals == std::string::npos ? line.size() : equals));
        const std::string_view value = equals == std::string::npos
                                           ? std::string_view()
                                           : std::string_view(line).substr(equals + 1);
        char tag = 0;
        if (SameTextAscii(name, "user_name"))
            tag = isc_dpb_user_name;
        else if (SameTextAscii(name, "password"))
            tag = isc_dpb_password;
        else
            throw Exception("Unknown connection parameter \"" + std::string(name) + "\"");
        if (value.size() > 255)
            throw Exception("The connection parameter \"" + std::string(name) +
                            "\" is longer than 255 bytes");
        block += tag;
        block += static_cast<char>(value.size());
        block += value;
    }
    // Paths are UTF-8 inside the program. Without this flag the client converts the name from
    // the system's character set, which fails for Cyrillic letters under a C locale on Linux
    // and for anything outside the ANSI code page on Windows.
    block += static_cast<char>(isc_dpb_utf8_filename);
    block += '\0';
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

std::vector<std::string>& Database::Params() {
    return m_impl->params;
}

const std::vector<std::string>& Database::Params() const {
    return m_impl->params;
}

void Database::SetSQLDialect(int dialect) {
    m_impl->requestedDialect = dialect;
}

int Database::SQLDialect() const {
    return m_impl->requestedDialect;
}

int Database::EffectiveDialect() const {
    return m_impl->databaseDialect < m_impl->requestedDialect ? m_impl->databaseDialect
                                                              : m_impl->requestedDialect;
}

int Database::DBSQLDialect() const {
    return m_impl->databaseDialect;
}

void Database::SetLoginPrompt(LoginPrompt prompt) {
    m_impl->loginPrompt = prompt;
}

LoginPrompt Database::GetLoginPrompt() const {
    return m_impl->loginPrompt;
}

void Database::SetDefaultTransaction(Transaction* transaction) {
    if (transaction && &transaction->GetDatabase() != this)
        throw Exception("The transaction belongs to another database");
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
        throw Exception("The database " + m_impl->name + " is already open");
    const Client& api = *m_impl->client;
    const std::string block = BuildParameterBlock(m_impl->params);
    if (m_impl->name.size() > 32767)
        throw Exception("The database name is too long");
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

void Database::Close() {
    if (!Connected())
        return;
    if (Transaction* transaction = m_impl->defaultTransaction; transaction && transaction->Active())
        transaction->Commit();
    ISC_STATUS_ARRAY status{};
    m_impl->client->isc_detach_database(status, m_impl->attachment.Ptr());
    m_impl->client->Check(status);
}

} // namespace norvane::db
