#include "app/database_backup.h"

#include "base/exceptions.h"
#include "base/text.h"
#include "db/firebird_error.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/paths.h"

#include <cstdio>

namespace norvane::app {

namespace {

constexpr std::string_view RecordName = "rehearsal-files.txt";
constexpr std::string_view BackupEntry = "backup";
constexpr std::string_view CopyEntry = "copy";
constexpr std::string_view BackupExtension = ".fbk";

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// What a record line names: its kind, then its fields, tab-separated.
std::vector<std::string> Fields(std::string_view line) {
    std::vector<std::string> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        fields.emplace_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

std::string RemoveCopy(const std::string& copyName, const std::string& exeDir,
                       const db::ConnectionParams& account) {
    const db::DatabaseLocation location = db::SplitDatabaseName(copyName);
    std::string failure;
    try {
        db::DropDatabase(exeDir, copyName, account);
        return {};
    } catch (const Exception& error) {
        failure = OneLine(error.what());
    }
    // A restore cut off may leave a file the engine cannot attach; this process's own engine
    // has no other hold on it.
    if (location.Server.empty() && platform::DeleteFile(location.Path))
        return {};
    return "не вдалося видалити копію бази даних " + copyName + ": " + failure;
}

std::string RemoveBackup(const std::string& server, const std::string& path) {
    if (!server.empty() && !IsThisMachine(server))
        return "резервна копія репетиції лишилась на сервері " + server + ": " + path +
               "; видаліть її там";
    if (!platform::FileExists(path) || platform::DeleteFile(path))
        return {};
    return "не вдалося видалити резервну копію репетиції " + path + ": " +
           platform::LastSystemError().message;
}

std::vector<std::string> RemoveRecorded(const std::string& record, const std::string& exeDir,
                                        const db::ConnectionParams& account) {
    std::vector<std::string> failures;
    if (!platform::FileExists(record))
        return failures;
    std::vector<std::vector<std::string>> backups;
    for (const std::string& line : Lines(platform::ReadWholeFile(record))) {
        const std::vector<std::string> fields = Fields(line);
        // The copy goes first: it was restored from the backup.
        if (fields.size() == 2 && fields[0] == CopyEntry) {
            if (auto failure = RemoveCopy(fields[1], exeDir, account); !failure.empty())
                failures.push_back(std::move(failure));
        } else if (fields.size() == 3 && fields[0] == BackupEntry) {
            backups.push_back(fields);
        }
    }
    for (const auto& backup : backups) {
        if (auto failure = RemoveBackup(backup[1], backup[2]); !failure.empty())
            failures.push_back(std::move(failure));
    }
    platform::DeleteFile(record);
    return failures;
}

} // namespace

db::BackupTime BackupTimeOf(std::string_view localTimeText) {
    db::BackupTime time;
    const std::string text(localTimeText);
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &time.Year, &time.Month, &time.Day,
                    &time.Hour, &time.Minute, &time.Second) != 6)
        return {};
    return time;
}

db::BackupTime LocalBackupTime() {
    return BackupTimeOf(platform::LocalTimeText());
}

std::string JoinServerPath(std::string_view folder, std::string_view name) {
    const std::size_t separator = folder.find_last_of("/\\");
    if (separator == std::string_view::npos)
        return JoinPath(folder, name);
    const char used = folder[separator];
    std::string path(folder);
    if (path.back() != used)
        path += used;
    return path + std::string(name);
}

std::string ServerFolderOf(std::string_view databaseName) {
    const std::string path = db::SplitDatabaseName(databaseName).Path;
    const std::size_t separator = path.find_last_of("/\\");
    if (separator == std::string::npos)
        return {};
    // The root keeps its separator ("/", "C:\").
    const bool root = separator == 0 || (separator == 2 && path[1] == ':');
    return path.substr(0, root ? separator + 1 : separator);
}

bool IsThisMachine(std::string_view server) {
    std::string host(server);
    // "host/port", "[address]/port".
    if (const std::size_t port = host.find('/'); port != std::string::npos)
        host.resize(port);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return SameTextAscii(host, "localhost") || host == "::1" || host.starts_with("127.");
}

std::string RehearsalCopyPath(std::string_view backupFile) {
    std::string_view stem = backupFile;
    if (stem.ends_with(BackupExtension))
        stem.remove_suffix(BackupExtension.size());
    return std::string(stem) + ".rehearsal.fdb";
}

RehearsalFiles::RehearsalFiles(std::string recordFolder, std::string exeDir,
                               db::ConnectionParams account)
    : m_record(JoinPath(recordFolder, RecordName)), m_exeDir(std::move(exeDir)),
      m_account(std::move(account)) {}

RehearsalFiles::~RehearsalFiles() {
    if (m_removed)
        return;
    try {
        Remove();
    } catch (...) {
    }
}

void RehearsalFiles::NoteBackup(std::string_view databaseName, const std::string& backupFile) {
    m_noted = true;
    const std::string server = db::SplitDatabaseName(databaseName).Server;
    if (!platform::AppendToFile(m_record, std::string(BackupEntry) + "\t" + server + "\t" +
                                              backupFile + "\n"))
        throw EOSError("не вдалося записати " + m_record + ": " +
                       platform::LastSystemError().message);
}

void RehearsalFiles::NoteCopy(const std::string& copyName) {
    m_noted = true;
    m_copyName = copyName;
    if (!platform::AppendToFile(m_record, std::string(CopyEntry) + "\t" + copyName + "\n"))
        throw EOSError("не вдалося записати " + m_record + ": " +
                       platform::LastSystemError().message);
}

std::vector<std::string> RehearsalFiles::Remove() {
    m_removed = true;
    if (!m_noted)
        return {};
    return RemoveRecorded(m_record, m_exeDir, m_account);
}

std::vector<std::string> RemoveRehearsalLeftovers(const std::string& recordFolder,
                                                  const std::string& exeDir,
                                                  const db::ConnectionParams& account) {
    return RemoveRecorded(JoinPath(recordFolder, RecordName), exeDir, account);
}

void EmptyKeptLogs(const std::string& folder) {
    for (const platform::DirEntry& entry : platform::FindEntries(folder, "*")) {
        if (!entry.isFolder || entry.name == "." || entry.name == "..")
            continue;
        std::vector<std::string> logs;
        platform::CollectFiles(logs, JoinPath(folder, entry.name), "*.*");
        for (const std::string& log : logs)
            platform::DeleteFile(log);
    }
}

} // namespace norvane::app
