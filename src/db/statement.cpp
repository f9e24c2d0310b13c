#include "db/statement.h"

#include "base/exceptions.h"
#include "base/text.h"
#include "db/internal.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace norvane::db {

namespace {

// The client's buffers give no alignment guarantee for the values inside them.
template <typename T> T Unaligned(const char* data) {
    T value;
    std::memcpy(&value, data, sizeof value);
    return value;
}

constexpr std::size_t BlobSegment = 16384;

struct ParsedText {
    std::string text;
    std::vector<std::string> names;
};

// ":NAME" becomes "?" outside literals, quoted identifiers and comments; a bare "?" keeps
// its place with an empty name so positions stay aligned with the server's parameters.
ParsedText ReplaceNamedParameters(std::string_view sql) {
    ParsedText parsed;
    parsed.text.reserve(sql.size());
    std::size_t i = 0;
    auto copyUntil = [&](std::string_view end) {
        const std::size_t stop = sql.find(end, i);
        const std::size_t next = stop == std::string_view::npos ? sql.size() : stop + end.size();
        parsed.text.append(sql.substr(i, next - i));
        i = next;
    };
    while (i < sql.size()) {
        const char c = sql[i];
        const char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
        if (c == '\'' || c == '"') {
            parsed.text += c;
            ++i;
            copyUntil(std::string_view(&c, 1));
        } else if (c == '-' && next == '-') {
            copyUntil("\n");
        } else if (c == '/' && next == '*') {
            parsed.text += "/*";
            i += 2;
            copyUntil("*/");
        } else if (c == ':' && IsIdentifierChar(next)) {
            std::size_t end = i + 1;
            while (end < sql.size() && IsIdentifierChar(sql[end]))
                ++end;
            parsed.names.emplace_back(sql.substr(i + 1, end - i - 1));
            parsed.text += '?';
            i = end;
        } else {
            if (c == '?')
                parsed.names.emplace_back();
            parsed.text += c;
            ++i;
        }
    }
    return parsed;
}

std::string TypeName(int type) {
    switch (type) {
    case SQL_TIMESTAMP:
        return "TIMESTAMP";
    case SQL_TYPE_DATE:
        return "DATE";
    case SQL_TYPE_TIME:
        return "TIME";
    case SQL_BOOLEAN:
        return "BOOLEAN";
    case SQL_ARRAY:
        return "ARRAY";
    case SQL_NULL:
        return "NULL";
    default:
        return "type " + std::to_string(type);
    }
}

// Which side of a statement an XSQLDA describes: its result columns or its parameters.
enum class Side { Columns, Parameters };

// An XSQLDA and the buffers its variables point to.
class Sqlda {
public:
    Sqlda() { Resize(1); }
    Sqlda(const Sqlda&) = delete;
    Sqlda& operator=(const Sqlda&) = delete;

    void Resize(short capacity) {
        capacity = std::max<short>(capacity, 1);
        const std::size_t bytes = XSQLDA_LENGTH(capacity);
        m_storage.assign((bytes + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t),
                         std::max_align_t{});
        std::memset(m_storage.data(), 0, bytes);
        Get()->version = SQLDA_VERSION1;
        Get()->sqln = capacity;
        m_buffers.clear();
        m_indicators.clear();
    }

    XSQLDA* Get() { return reinterpret_cast<XSQLDA*>(m_storage.data()); }
    const XSQLDA* Get() const { return reinterpret_cast<const XSQLDA*>(m_storage.data()); }
    bool Overflowed() const { return Get()->sqld > Get()->sqln; }
    std::size_t Count() const { return static_cast<std::size_t>(std::max<short>(Get()->sqld, 0)); }
    XSQLVAR& Var(std::size_t index) { return Get()->sqlvar[index]; }
    const XSQLVAR& Var(std::size_t index) const { return Get()->sqlvar[index]; }

    /// Gives every described variable a buffer; parameters start as NULL.
    void AllocateBuffers(Side side) {
        const std::size_t count = Count();
        m_indicators.assign(count, side == Side::Parameters ? -1 : 0);
        m_buffers.assign(count, {});
        for (std::size_t i = 0; i < count; ++i) {
            XSQLVAR& var = Var(i);
            if (side == Side::Parameters)
                var.sqltype |= 1;
            Bind(i, static_cast<std::size_t>(std::max<ISC_SHORT>(var.sqllen, 0)) + 2);
        }
    }

    /// Makes variable index's buffer hold at least size bytes.
    char* Bind(std::size_t index, std::size_t size) {
        auto& buffer = m_buffers[index];
        const std::size_t words = std::max<std::size_t>(size, sizeof(ISC_QUAD)) / 8 + 1;
        if (buffer.size() < words)
            buffer.assign(words, 0);
        XSQLVAR& var = Var(index);
        var.sqldata = reinterpret_cast<char*>(buffer.data());
        var.sqlind = &m_indicators[index];
        return var.sqldata;
    }

    bool IsNull(std::size_t index) const {
        const XSQLVAR& var = Var(index);
        return (var.sqltype & 1) != 0 && var.sqlind && *var.sqlind == -1;
    }
    /// A parameter given a value is no longer NULL.
    void MarkSet(std::size_t index) { m_indicators[index] = 0; }

private:
    std::vector<std::max_align_t> m_storage;
    std::vector<std::vector<std::int64_t>> m_buffers;
    std::vector<ISC_SHORT> m_indicators;
};

} // namespace

struct Statement::Impl {
    Impl(Database& owner, Transaction* own, Parameters mode)
        : database(owner), ownTransaction(own), parameters(mode), handle(owner.m_impl->client) {}

    Database& database;
    // The transaction the statement runs in; null for the database's default one.
    Transaction* ownTransaction;
    Parameters parameters;
    std::string sql;
    std::vector<std::string> names;
    StatementHandle handle;
    Sqlda input;
    Sqlda output;
    bool prepared = false;
    bool cursorOpen = false;
    bool singletonRow = false;
    int statementType = 0;

    const Client& Api() const { return *database.m_impl->client; }
    FB_API_HANDLE* DatabaseHandle() {
        if (!database.m_impl->attachment.Valid())
            throw EMisuse("The database is not connected");
        return database.m_impl->attachment.Ptr();
    }
    FB_API_HANDLE* TransactionHandle() {
        Transaction* transaction =
            ownTransaction != nullptr ? ownTransaction : database.DefaultTransaction();
        if (!transaction)
            throw EMisuse("The database has no default transaction");
        if (!transaction->Active())
            throw EMisuse("The transaction is not active");
        return transaction->m_impl->handle.Ptr();
    }

    void Describe(Sqlda& sqlda, Side side) {
        ISC_STATUS_ARRAY status{};
        auto describe =
            side == Side::Parameters ? Api().isc_dsql_describe_bind : Api().isc_dsql_describe;
        if (sqlda.Overflowed()) {
            sqlda.Resize(sqlda.Get()->sqld);
            describe(status, handle.Ptr(), SQLDA_VERSION1, sqlda.Get());
            Api().Check(status);
        }
        sqlda.AllocateBuffers(side);
    }

    int ReadStatementType() {
        const char items[] = {isc_info_sql_stmt_type};
        char answer[16] = {};
        ISC_STATUS_ARRAY status{};
        Api().isc_dsql_sql_info(status, handle.Ptr(), sizeof items, items, sizeof answer, answer);
        Api().Check(status);
        if (answer[0] != isc_info_sql_stmt_type)
            return 0;
        const auto length = static_cast<short>(Api().isc_vax_integer(answer + 1, 2));
        return static_cast<int>(Api().isc_vax_integer(answer + 3, length));
    }

    void CloseCursor() {
        singletonRow = false;
        if (!cursorOpen)
            return;
        cursorOpen = false;
        ISC_STATUS_ARRAY status{};
        Api().isc_dsql_free_statement(status, handle.Ptr(), DSQL_close);
        // An ended transaction has already closed the cursor on the server.
        if (status[1] != isc_dsql_cursor_close_err)
            Api().Check(status);
    }

    std::vector<std::size_t> Positions(std::string_view name) const {
        std::vector<std::size_t> positions;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (!names[i].empty() && SameTextAscii(names[i], name))
                positions.push_back(i);
        }
        if (positions.empty())
            throw EMisuse("Parameter " + std::string(name) + " not found");
        return positions;
    }

    std::string ReadBlob(const ISC_QUAD& id) {
        ISC_QUAD blobId = id;
        BlobHandle blob(database.m_impl->client);
        ISC_STATUS_ARRAY status{};
        Api().isc_open_blob2(status, DatabaseHandle(), TransactionHandle(), blob.Ptr(), &blobId, 0,
                             nullptr);
        Api().Check(status);
        std::string bytes;
        char segment[BlobSegment];
        for (;;) {
            unsigned short length = 0;
            const ISC_STATUS result =
                Api().isc_get_segment(status, blob.Ptr(), &length, sizeof segment, segment);
            if (result == isc_segstr_eof)
                break;
            if (result != 0 && result != isc_segment)
                Api().Check(status);
            bytes.append(segment, length);
        }
        Api().isc_close_blob(status, blob.Ptr());
        Api().Check(status);
        return bytes;
    }
};

Statement::Statement(Database& database, Parameters parameters)
    : m_impl(std::make_unique<Impl>(database, nullptr, parameters)) {}

Statement::Statement(Transaction& transaction, Parameters parameters)
    : m_impl(std::make_unique<Impl>(transaction.GetDatabase(), &transaction, parameters)) {}

Statement::~Statement() = default;

void Statement::SetSql(std::string text) {
    m_impl->CloseCursor();
    m_impl->sql = std::move(text);
    m_impl->prepared = false;
    m_impl->names.clear();
}

void Statement::Prepare() {
    Impl& impl = *m_impl;
    impl.CloseCursor();
    impl.prepared = false;
    std::string text = impl.sql;
    impl.names.clear();
    if (impl.parameters == Parameters::Named) {
        ParsedText parsed = ReplaceNamedParameters(impl.sql);
        text = std::move(parsed.text);
        impl.names = std::move(parsed.names);
    }
    const Client& api = impl.Api();
    ISC_STATUS_ARRAY status{};
    if (!impl.handle.Valid()) {
        api.isc_dsql_allocate_statement(status, impl.DatabaseHandle(), impl.handle.Ptr());
        api.Check(status);
    }
    impl.output.Resize(16);
    // A length of 0 tells the client to read up to the terminating NUL.
    const auto length = text.size() <= 0xFFFF ? static_cast<unsigned short>(text.size()) : 0;
    api.isc_dsql_prepare(status, impl.TransactionHandle(), impl.handle.Ptr(), length, text.c_str(),
                         static_cast<unsigned short>(impl.database.EffectiveDialect()),
                         impl.output.Get());
    api.Check(status);
    impl.Describe(impl.output, Side::Columns);

    impl.input.Resize(static_cast<short>(std::max<std::size_t>(impl.names.size(), 1)));
    // Raw text binds nothing: the input stays empty, so the client refuses a "?" in it at
    // execution ("Wrong number of parameters").
    if (impl.parameters == Parameters::Named) {
        api.isc_dsql_describe_bind(status, impl.handle.Ptr(), SQLDA_VERSION1, impl.input.Get());
        api.Check(status);
        impl.Describe(impl.input, Side::Parameters);
    }
    impl.names.resize(impl.input.Count());
    impl.statementType = impl.ReadStatementType();
    impl.prepared = true;
}

void Statement::Execute() {
    Impl& impl = *m_impl;
    if (!impl.prepared)
        Prepare();
    impl.CloseCursor();
    const Client& api = impl.Api();
    ISC_STATUS_ARRAY status{};
    FB_API_HANDLE* transaction = impl.TransactionHandle();
    const bool select = impl.statementType == isc_info_sql_stmt_select ||
                        impl.statementType == isc_info_sql_stmt_select_for_upd;
    if (!select && impl.output.Count() > 0) {
        api.isc_dsql_execute2(status, transaction, impl.handle.Ptr(), SQLDA_VERSION1,
                              impl.input.Get(), impl.output.Get());
        api.Check(status);
        impl.singletonRow = true;
        return;
    }
    api.isc_dsql_execute(status, transaction, impl.handle.Ptr(), SQLDA_VERSION1, impl.input.Get());
    api.Check(status);
    impl.cursorOpen = select;
}

StatementType Statement::Type() const {
    if (!m_impl->prepared)
        throw EMisuse("The statement is not prepared");
    switch (m_impl->statementType) {
    case isc_info_sql_stmt_select:
        return StatementType::Select;
    case isc_info_sql_stmt_select_for_upd:
        return StatementType::SelectForUpdate;
    case isc_info_sql_stmt_insert:
        return StatementType::Insert;
    case isc_info_sql_stmt_update:
        return StatementType::Update;
    case isc_info_sql_stmt_delete:
        return StatementType::Delete;
    case isc_info_sql_stmt_ddl:
        return StatementType::Ddl;
    case isc_info_sql_stmt_exec_procedure:
        return StatementType::ExecProcedure;
    case isc_info_sql_stmt_start_trans:
        return StatementType::StartTransaction;
    case isc_info_sql_stmt_commit:
        return StatementType::Commit;
    case isc_info_sql_stmt_rollback:
        return StatementType::Rollback;
    case isc_info_sql_stmt_set_generator:
        return StatementType::SetGenerator;
    case isc_info_sql_stmt_savepoint:
        return StatementType::Savepoint;
    default:
        return StatementType::Other;
    }
}

std::int64_t Statement::RowsAffected() const {
    const Impl& impl = *m_impl;
    if (!impl.prepared)
        throw EMisuse("The statement is not prepared");
    const char items[] = {isc_info_sql_records};
    char answer[64] = {};
    ISC_STATUS_ARRAY status{};
    impl.Api().isc_dsql_sql_info(status, m_impl->handle.Ptr(), sizeof items, items, sizeof answer,
                                 answer);
    impl.Api().Check(status);
    if (answer[0] != isc_info_sql_records)
        return 0;
    // Items of the answer: a code, a two-byte length and the count.
    std::int64_t rows = 0;
    for (const char* item = answer + 3;
         item + 3 <= answer + sizeof answer && *item != isc_info_end;) {
        const auto length = static_cast<short>(impl.Api().isc_vax_integer(item + 1, 2));
        if (*item == isc_info_req_insert_count || *item == isc_info_req_update_count ||
            *item == isc_info_req_delete_count)
            rows += impl.Api().isc_vax_integer(item + 3, length);
        item += 3 + length;
    }
    return rows;
}

bool Statement::Fetch() {
    Impl& impl = *m_impl;
    if (impl.singletonRow) {
        impl.singletonRow = false;
        return true;
    }
    if (!impl.cursorOpen)
        return false;
    ISC_STATUS_ARRAY status{};
    const ISC_STATUS result =
        impl.Api().isc_dsql_fetch(status, impl.handle.Ptr(), SQLDA_VERSION1, impl.output.Get());
    if (result == 100) {
        impl.CloseCursor();
        return false;
    }
    impl.Api().Check(status);
    return true;
}

void Statement::Close() {
    m_impl->CloseCursor();
}

std::size_t Statement::FieldCount() const {
    return m_impl->prepared ? m_impl->output.Count() : 0;
}

std::size_t Statement::FieldIndex(std::string_view name) const {
    for (std::size_t i = 0; i < FieldCount(); ++i) {
        const XSQLVAR& var = m_impl->output.Var(i);
        if (std::string_view(var.aliasname, static_cast<std::size_t>(var.aliasname_length)) == name)
            return i;
    }
    // A table of the product that lacks a column the program reads: the database's fault.
    throw Exception("Column " + std::string(name) + " not found");
}

FieldValue Statement::Field(std::size_t index) const {
    if (index >= FieldCount())
        throw EMisuse("Column index " + std::to_string(index) + " out of range");
    const Sqlda& output = m_impl->output;
    if (output.IsNull(index))
        return Null{};
    const XSQLVAR& var = output.Var(index);
    const char* data = var.sqldata;
    switch (var.sqltype & ~1) {
    case SQL_SHORT:
        return ScaledInteger{Unaligned<ISC_SHORT>(data), var.sqlscale};
    case SQL_LONG:
        return ScaledInteger{Unaligned<ISC_LONG>(data), var.sqlscale};
    case SQL_INT64:
        return ScaledInteger{Unaligned<ISC_INT64>(data), var.sqlscale};
    case SQL_FLOAT:
        return static_cast<double>(Unaligned<float>(data));
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
        return Unaligned<double>(data);
    case SQL_TEXT: {
        std::string_view text(data, static_cast<std::size_t>(var.sqllen));
        while (!text.empty() && text.back() == ' ')
            text.remove_suffix(1);
        return std::string(text);
    }
    case SQL_VARYING:
        return std::string(data + sizeof(ISC_USHORT), Unaligned<ISC_USHORT>(data));
    case SQL_BLOB:
        return BlobBytes{m_impl->ReadBlob(Unaligned<ISC_QUAD>(data))};
    default:
        return Unsupported{TypeName(var.sqltype & ~1)};
    }
}

void Statement::SetBlobParam(std::string_view name, std::span<const std::byte> bytes) {
    Impl& impl = *m_impl;
    if (!impl.prepared)
        Prepare();
    const auto positions = impl.Positions(name);
    const Client& api = impl.Api();
    ISC_QUAD id{};
    BlobHandle blob(impl.database.m_impl->client);
    ISC_STATUS_ARRAY status{};
    api.isc_create_blob2(status, impl.DatabaseHandle(), impl.TransactionHandle(), blob.Ptr(), &id,
                         0, nullptr);
    api.Check(status);
    // No bytes means no segment: the blob exists and is empty, which is not NULL.
    for (std::size_t offset = 0; offset < bytes.size(); offset += BlobSegment) {
        const std::size_t length = std::min(BlobSegment, bytes.size() - offset);
        api.isc_put_segment(status, blob.Ptr(), static_cast<unsigned short>(length),
                            reinterpret_cast<const char*>(bytes.data() + offset));
        api.Check(status);
    }
    api.isc_close_blob(status, blob.Ptr());
    api.Check(status);
    for (std::size_t position : positions) {
        XSQLVAR& var = impl.input.Var(position);
        if ((var.sqltype & ~1) != SQL_BLOB) {
            var.sqltype = SQL_BLOB | 1;
            var.sqlsubtype = 0;
        }
        var.sqllen = sizeof(ISC_QUAD);
        var.sqlscale = 0;
        std::memcpy(impl.input.Bind(position, sizeof(ISC_QUAD)), &id, sizeof id);
        impl.input.MarkSet(position);
    }
}

void Statement::SetStringParam(std::string_view name, std::string_view text) {
    Impl& impl = *m_impl;
    if (!impl.prepared)
        Prepare();
    if (text.size() > 0x7FFF)
        throw EMisuse("The value of parameter " + std::string(name) + " is too long");
    for (std::size_t position : impl.Positions(name)) {
        XSQLVAR& var = impl.input.Var(position);
        var.sqltype = SQL_TEXT | 1;
        var.sqllen = static_cast<ISC_SHORT>(text.size());
        var.sqlscale = 0;
        var.sqlsubtype = 0;
        std::memcpy(impl.input.Bind(position, text.size()), text.data(), text.size());
        impl.input.MarkSet(position);
    }
}

} // namespace norvane::db
