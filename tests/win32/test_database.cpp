// The test database of the Windows build: there is no isql-fb to run, so the file is created
// and read through the Firebird client the program itself loads (under Wine, the test fbclient.dll
// that forwards to Linux's client). Statements run one a transaction, as isql commits DDL.

#include "support/test_database.h"

#include "db/client_library.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/paths.h"

#include <ibase.h>

#include <cctype>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace norvane::testing {

namespace {

bool IsCommit(std::string_view statement) {
    const auto first = statement.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return false;
    statement.remove_prefix(first);
    std::string word;
    for (const char c : statement.substr(0, statement.find_first_of(" \t\r\n")))
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return word == "COMMIT";
}

// The statements of a script: ended by ";" (or the terminator a SET TERM names, as isql
// takes it) outside quotes; blank ones and the SET TERM commands themselves dropped.
std::vector<std::string> Statements(std::string_view script) {
    std::vector<std::string> statements;
    std::string terminator = ";";
    std::string current;
    char quote = 0;
    const auto isBlank = [](const std::string& text) {
        return text.find_first_not_of(" \t\r\n") == std::string::npos;
    };
    for (char c : script) {
        current += c;
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            continue;
        }
        if (current.size() < terminator.size() ||
            current.compare(current.size() - terminator.size(), terminator.size(), terminator) != 0)
            continue;
        current.resize(current.size() - terminator.size());
        const std::size_t start = current.find_first_not_of(" \t\r\n");
        std::string upper;
        for (char letter : current.substr(start == std::string::npos ? current.size() : start))
            upper +=
                static_cast<char>(letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter);
        if (upper.rfind("SET TERM ", 0) == 0) {
            const std::size_t from = upper.find_first_not_of(' ', 9);
            terminator = current.substr(start + from, upper.find_first_of(" \t\r\n", from) - from);
        } else if (!isBlank(current)) {
            statements.push_back(current);
        }
        current.clear();
    }
    if (!isBlank(current))
        statements.push_back(current);
    return statements;
}

void AddParameter(std::string& block, char tag, std::string_view value) {
    block += tag;
    block += static_cast<char>(value.size());
    block += value;
}

std::string Decimal(const db::ScaledInteger& number) {
    const bool negative = number.value < 0;
    std::string digits = std::to_string(negative ? -number.value : number.value);
    const auto places = static_cast<std::size_t>(-number.scale);
    if (places > 0) {
        if (digits.size() <= places)
            digits.insert(0, places - digits.size() + 1, '0');
        digits.insert(digits.size() - places, ".");
    }
    return (negative ? "-" : "") + digits;
}

} // namespace

void UseSharedFirebirdEngine() {
    // Wine hands the test script's FIREBIRD to the Linux client the test fbclient.dll calls.
}

// The file name is UTF-8 and may hold folders, which are made first.
TestDatabase::TestDatabase(int dialect, std::string_view fileName, int pageSize)
    : m_dialect(dialect), m_path(JoinPath(m_folder.Str(), fileName, WindowsPathRules)) {
    for (std::size_t end = m_path.find('\\', m_folder.Str().size() + 1); end != std::string::npos;
         end = m_path.find('\\', end + 1))
        platform::CreateFolder(m_path.substr(0, end));
    const auto library = platform::SharedLibrary::Open(db::FirebirdClientCandidates(""),
                                                       "the Firebird client library");
    const auto create =
        reinterpret_cast<decltype(&::isc_create_database)>(library.Symbol("isc_create_database"));
    const auto detach =
        reinterpret_cast<decltype(&::isc_detach_database)>(library.Symbol("isc_detach_database"));
    const auto interpret =
        reinterpret_cast<decltype(&::fb_interpret)>(library.Symbol("fb_interpret"));
    if (!create || !detach || !interpret)
        throw std::runtime_error(library.Name() + " cannot create databases");
    std::string block(1, static_cast<char>(isc_dpb_version1));
    AddParameter(block, isc_dpb_user_name, "SYSDBA");
    AddParameter(block, isc_dpb_sql_dialect, std::string(1, static_cast<char>(dialect)));
    std::string pageSizeBytes;
    for (int shift = 0; shift < 32; shift += 8)
        pageSizeBytes += static_cast<char>((pageSize >> shift) & 0xFF);
    AddParameter(block, isc_dpb_page_size, pageSizeBytes);
    AddParameter(block, isc_dpb_utf8_filename, "");
    ISC_STATUS_ARRAY status{};
    isc_db_handle handle = 0;
    create(status, 0, m_path.c_str(), &handle, static_cast<short>(block.size()), block.data(), 0);
    if (status[0] == 1 && status[1] != 0) {
        std::string text = "cannot create " + m_path + ":";
        const ISC_STATUS* cursor = status;
        char line[1024];
        while (interpret(line, sizeof line, &cursor) > 0)
            text += std::string("\n") + line;
        throw std::runtime_error(text);
    }
    detach(status, &handle);
}

std::string TestDatabase::RunIsql(const std::string& script, bool, std::string_view) {
    Session session(*this);
    for (const std::string& text : Statements(script)) {
        // Every statement is committed here already, as isql's COMMIT would.
        if (IsCommit(text))
            continue;
        session.transaction.StartTransaction();
        db::Statement statement(session.database, db::Parameters::Raw);
        statement.SetSql(text);
        statement.Execute();
        session.transaction.Commit();
    }
    return {};
}

void TestDatabase::Execute(std::string_view isqlScript) {
    RunIsql(std::string(isqlScript), true);
}

std::optional<std::string> TestDatabase::QueryString(std::string_view select) {
    const db::FieldValue value = FirstValue(select);
    if (std::holds_alternative<db::Null>(value))
        return std::nullopt;
    if (const auto* text = std::get_if<std::string>(&value))
        return *text;
    if (const auto* number = std::get_if<db::ScaledInteger>(&value))
        return Decimal(*number);
    throw std::runtime_error("a column isql's text is not made for here: " + std::string(select));
}

} // namespace norvane::testing
