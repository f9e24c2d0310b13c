#include "db/services.h"

#include "base/exceptions.h"
#include "db/client.h"
#include "db/parameter_block.h"
#include "platform/files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <optional>
#include <thread>
#include <vector>

namespace norvane::db {

namespace {

constexpr std::string_view ServiceManagerService = "service_mgr";
// A query returns after this long without a line, so that the caller can look up.
constexpr unsigned QueryTimeoutSeconds = 1;
// One line of output with its item header; gbak's lines are far shorter.
constexpr unsigned short ReplySize = 16384;
// The last lines of output an error's text shows after the service's own message.
constexpr std::size_t KeptLines = 8;

// gbak ends a finished backup with the first line (and the bytes it wrote), a finished restore
// with the second, whatever the verbose lines before them.
constexpr std::string_view BackupFinished = "closing file, committing, and finishing.";
constexpr std::string_view RestoreFinished = "finishing, closing, and going home";

void AppendLittleEndian(std::string& block, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        block += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void AppendPath(std::string& block, char tag, std::string_view path) {
    if (path.size() > 0xFFFF)
        throw EMisuse("A file name is longer than a service parameter can hold");
    block += tag;
    AppendLittleEndian(block, static_cast<std::uint32_t>(path.size()), 2);
    block += path;
}

void AppendOptions(std::string& block, std::uint32_t options) {
    block += static_cast<char>(isc_spb_options);
    AppendLittleEndian(block, options, 4);
}

// Version 2 of the block: the service thread's failures come back in the status of the query
// that meets them.
std::string AttachBlock(const ConnectionParams& account) {
    std::string block{static_cast<char>(isc_spb_version),
                      static_cast<char>(isc_spb_current_version)};
    AppendShortParameter(block, isc_spb_user_name, account.UserName, "A service parameter");
    AppendShortParameter(block, isc_spb_password, account.Password, "A service parameter");
    // The names in the start blocks are UTF-8, as the program keeps them.
    AppendShortParameter(block, isc_spb_utf8_filename, {}, "A service parameter");
    return block;
}

std::string BackupBlock(std::string_view databasePath, std::string_view backupFile) {
    std::string block(1, static_cast<char>(isc_action_svc_backup));
    AppendPath(block, isc_spb_dbname, databasePath);
    AppendPath(block, isc_spb_bkp_file, backupFile);
    block += static_cast<char>(isc_spb_verbose);
    return block;
}

std::string RestoreBlock(std::string_view backupFile, std::string_view databasePath,
                         RestoreTarget target) {
    std::string block(1, static_cast<char>(isc_action_svc_restore));
    AppendPath(block, isc_spb_bkp_file, backupFile);
    AppendPath(block, isc_spb_dbname, databasePath);
    block += static_cast<char>(isc_spb_verbose);
    // No page size is given: the restored database keeps the one the backup recorded.
    AppendOptions(block,
                  target == RestoreTarget::Replace ? isc_spb_res_replace : isc_spb_res_create);
    return block;
}

std::string QueryBlock() {
    std::string block(1, static_cast<char>(isc_info_svc_timeout));
    AppendLittleEndian(block, 4, 2);
    AppendLittleEndian(block, QueryTimeoutSeconds, 4);
    return block;
}

// A line comes with the line feed the service turned into a blank.
std::string TrimmedLine(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return std::string(text);
}

// One answer to a query for a line.
struct Reply {
    std::optional<std::string> line;
    // No line came in the query's time, or the output is not ready yet.
    bool waiting = false;
};

Reply ParseReply(const Client& api, const char* buffer, std::size_t size) {
    Reply reply;
    const char* const end = buffer + size;
    for (const char* item = buffer; item < end && *item != isc_info_end;) {
        switch (*item++) {
        case isc_info_svc_line: {
            if (end - item < 2)
                throw EFirebirdError("The service manager's answer is cut short", 0, {});
            const auto length = static_cast<std::size_t>(
                static_cast<unsigned short>(api.isc_vax_integer(const_cast<char*>(item), 2)));
            item += 2;
            if (static_cast<std::size_t>(end - item) < length)
                throw EFirebirdError("The service manager's answer is cut short", 0, {});
            if (length > 0)
                reply.line = TrimmedLine(std::string_view(item, length));
            item += length;
            break;
        }
        case isc_info_svc_timeout:
        case isc_info_data_not_ready:
        case isc_info_truncated:
            reply.waiting = true;
            break;
        default:
            throw EFirebirdError("The service manager answered with an unknown item " +
                                     std::to_string(static_cast<unsigned char>(item[-1])),
                                 0, {});
        }
    }
    return reply;
}

// The last lines of a service's output, for an error's text.
class OutputTail {
public:
    void Add(const std::string& line) {
        m_lines.push_back(line);
        if (m_lines.size() > KeptLines)
            m_lines.pop_front();
    }
    const std::deque<std::string>& Lines() const { return m_lines; }

    std::string Text() const {
        std::string text;
        for (const std::string& line : m_lines)
            text += (text.empty() ? "" : "\n") + line;
        return text;
    }

    // The number that follows marker in one of the lines, if one holds it.
    std::optional<std::uint64_t> NumberAfter(std::string_view marker) const {
        for (const std::string& line : m_lines) {
            const std::size_t at = line.find(marker);
            if (at == std::string::npos)
                continue;
            unsigned long long number = 0;
            if (std::sscanf(line.c_str() + at + marker.size(), " %llu", &number) == 1)
                return number;
        }
        return std::nullopt;
    }

    bool Holds(std::string_view marker) const {
        for (const std::string& line : m_lines) {
            if (line.find(marker) != std::string::npos)
                return true;
        }
        return false;
    }

private:
    std::deque<std::string> m_lines;
};

std::string WithOutput(std::string message, const OutputTail& output) {
    if (output.Lines().empty())
        return message;
    return message + "\n" + output.Text();
}

// The backup file a backup writes, when it is this process's to examine: one that was missing
// when the backup began is removed again when it fails.
class BackupTarget {
public:
    BackupTarget(bool embedded, std::string path)
        : m_path(std::move(path)), m_examined(embedded),
          m_new(embedded && !platform::FileExists(m_path)) {}

    bool Examined() const { return m_examined; }
    const std::string& Path() const { return m_path; }
    // A detach does not wait for the engine's backup thread, which may still make or write the
    // file after the first removal: it is removed again until it has stayed away a while.
    void RemoveWhenNew() const {
        if (!m_new)
            return;
        using namespace std::chrono_literals;
        const auto giveUp = std::chrono::steady_clock::now() + 5s;
        auto away = 0ms;
        while (away < 500ms && std::chrono::steady_clock::now() < giveUp) {
            if (platform::FileExists(m_path)) {
                platform::DeleteFile(m_path);
                away = 0ms;
            } else {
                away += 50ms;
            }
            std::this_thread::sleep_for(50ms);
        }
    }

private:
    std::string m_path;
    bool m_examined;
    bool m_new;
};

bool HoldsCode(const EFirebirdError& error, long code) {
    const std::vector<long>& codes = error.GdsCodes();
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

} // namespace

DatabaseLocation SplitDatabaseName(std::string_view databaseName) {
    std::size_t colon = std::string_view::npos;
    if (databaseName.starts_with('[')) {
        // An IPv6 address holds colons of its own.
        if (const std::size_t closing = databaseName.find(']'); closing != std::string_view::npos)
            colon = databaseName.find(':', closing);
    } else {
        colon = databaseName.find(':');
    }
    // A colon after one letter is a drive's.
    if (colon == std::string_view::npos || colon < 2)
        return {"", std::string(databaseName)};
    return {std::string(databaseName.substr(0, colon)),
            std::string(databaseName.substr(colon + 1))};
}

std::string ServiceManagerName(std::string_view databaseName) {
    const DatabaseLocation location = SplitDatabaseName(databaseName);
    if (location.Server.empty())
        return std::string(ServiceManagerService);
    return location.Server + ":" + std::string(ServiceManagerService);
}

std::string BackupFileName(std::string_view databaseName, std::int32_t version,
                           const BackupTime& time) {
    const std::string path = SplitDatabaseName(databaseName).Path;
    std::string_view file = path;
    if (const std::size_t slash = file.find_last_of("/\\"); slash != std::string_view::npos)
        file.remove_prefix(slash + 1);
    // A leading dot starts the name, not an extension.
    if (const std::size_t dot = file.rfind('.'); dot != std::string_view::npos && dot > 0)
        file = file.substr(0, dot);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02dT%02d%02d%02d", time.Year, time.Month, time.Day,
                  time.Hour, time.Minute, time.Second);
    return std::string(file) + "-" + std::to_string(version) + "-" + stamp + ".fbk";
}

bool DropDatabase(const std::string& exeDir, const std::string& databaseName,
                  const ConnectionParams& account) {
    Database database(exeDir);
    database.SetDatabaseName(databaseName);
    database.SetParams(account);
    try {
        database.Open();
    } catch (const EFirebirdError& error) {
        if (HoldsCode(error, isc_io_open_err))
            return false;
        throw;
    }
    database.Drop();
    return true;
}

struct ServiceManager::Impl {
    Impl(std::string exeFolder, std::string_view databaseName, ConnectionParams connection)
        : exeDir(std::move(exeFolder)), server(SplitDatabaseName(databaseName).Server),
          account(std::move(connection)), client(Client::Load(exeDir)),
          name(ServiceManagerName(databaseName)), attachBlock(AttachBlock(account)),
          handle(client) {}

    void Attach();
    OutputTail Run(const std::string& startBlock, const ServiceProgress& progress);
    OutputTail ReadOutput(const ServiceProgress& progress);

    bool DatabaseExists(const std::string& path) const;
    void RemoveDatabase(const std::string& path) const noexcept;

    std::string exeDir;
    std::string server;
    ConnectionParams account;
    std::shared_ptr<const Client> client;
    std::string name;
    std::string attachBlock;
    ServiceHandle handle;
};

// On a server, a file that cannot be opened is taken for a missing one: an attach shows no
// more, and a file the server cannot open it cannot drop either.
bool ServiceManager::Impl::DatabaseExists(const std::string& path) const {
    if (server.empty())
        return platform::FileExists(path);
    Database database(exeDir);
    database.SetDatabaseName(server + ":" + path);
    database.SetParams(account);
    try {
        database.Open();
        database.Close();
        return true;
    } catch (const EFirebirdError& error) {
        return !HoldsCode(error, isc_io_open_err);
    }
}

// A database a failed restore left is removed as far as it can be; what cannot be removed
// (the service still holds it) stays, and the restore's own error is the one reported.
void ServiceManager::Impl::RemoveDatabase(const std::string& path) const noexcept {
    if (server.empty()) {
        platform::DeleteFile(path);
        return;
    }
    try {
        Database database(exeDir);
        database.SetDatabaseName(server + ":" + path);
        database.SetParams(account);
        database.Open();
        database.Drop();
    } catch (...) {
    }
}

void ServiceManager::Impl::Attach() {
    if (name.size() > 0xFFFF)
        throw EMisuse("The server name is too long");
    ISC_STATUS_ARRAY status{};
    ServiceHandle attached(client);
    client->isc_service_attach(status, static_cast<unsigned short>(name.size()), name.c_str(),
                               attached.Ptr(), static_cast<unsigned short>(attachBlock.size()),
                               attachBlock.data());
    client->Check(status);
    handle = std::move(attached);
}

// Starts the service a block describes and reads its output to the end. A failure the service
// reports raises with its text and the last lines of output. The handle is given up on any
// error: a service left running stops when it is detached, and the next one attaches anew.
OutputTail ServiceManager::Impl::Run(const std::string& startBlock,
                                     const ServiceProgress& progress) {
    if (startBlock.size() > 0xFFFF)
        throw EMisuse("The file names are longer than a service parameter block can hold");
    if (!handle.Valid())
        Attach();
    try {
        ISC_STATUS_ARRAY status{};
        client->isc_service_start(status, handle.Ptr(), nullptr,
                                  static_cast<unsigned short>(startBlock.size()),
                                  startBlock.data());
        client->Check(status);
        return ReadOutput(progress);
    } catch (...) {
        handle.Reset();
        throw;
    }
}

OutputTail ServiceManager::Impl::ReadOutput(const ServiceProgress& progress) {
    const std::string send = QueryBlock();
    const char receive[] = {isc_info_svc_line};
    std::vector<char> buffer(ReplySize);
    OutputTail output;
    for (;;) {
        ISC_STATUS_ARRAY status{};
        client->isc_service_query(status, handle.Ptr(), nullptr,
                                  static_cast<unsigned short>(send.size()), send.data(),
                                  sizeof receive, receive, ReplySize, buffer.data());
        try {
            client->Check(status);
        } catch (const EFirebirdError& error) {
            throw EFirebirdError(WithOutput(error.what(), output), error.SqlCode(),
                                 error.GdsCodes());
        }
        const Reply reply = ParseReply(*client, buffer.data(), buffer.size());
        if (reply.line) {
            output.Add(*reply.line);
            if (progress.OnLine)
                progress.OnLine(*reply.line);
        } else if (reply.waiting) {
            if (progress.OnWait)
                progress.OnWait();
        } else {
            return output;
        }
    }
}

ServiceManager::ServiceManager(const std::string& exeDir, std::string_view databaseName,
                               const ConnectionParams& account)
    : m_impl(std::make_unique<Impl>(exeDir, databaseName, account)) {
    m_impl->Attach();
}

ServiceManager::~ServiceManager() = default;

bool ServiceManager::Embedded() const {
    return m_impl->server.empty();
}

std::uint64_t ServiceManager::Backup(std::string_view databasePath, std::string_view backupFile,
                                     const ServiceProgress& progress) {
    const BackupTarget target(Embedded(), std::string(backupFile));
    try {
        const OutputTail output = m_impl->Run(BackupBlock(databasePath, backupFile), progress);
        const std::optional<std::uint64_t> written = output.NumberAfter(BackupFinished);
        if (!written || *written == 0)
            throw EFirebirdError(WithOutput("The backup of " + std::string(databasePath) +
                                                " into " + target.Path() + " did not finish",
                                            output),
                                 0, {});
        if (target.Examined()) {
            const std::optional<std::uint64_t> size = platform::FileSize(target.Path());
            if (!size || *size == 0)
                throw EFirebirdError("The backup file " + target.Path() +
                                         " is missing or empty after the backup",
                                     0, {});
        }
        return *written;
    } catch (...) {
        target.RemoveWhenNew();
        throw;
    }
}

void ServiceManager::Restore(std::string_view backupFile, std::string_view databasePath,
                             RestoreTarget target, const ServiceProgress& progress) {
    const std::string database(databasePath);
    const bool existed = m_impl->DatabaseExists(database);
    try {
        const OutputTail output =
            m_impl->Run(RestoreBlock(backupFile, databasePath, target), progress);
        if (!output.Holds(RestoreFinished))
            throw EFirebirdError(WithOutput("The restore of " + std::string(backupFile) + " into " +
                                                database + " did not finish",
                                            output),
                                 0, {});
    } catch (...) {
        if (!existed)
            m_impl->RemoveDatabase(database);
        throw;
    }
}

} // namespace norvane::db
