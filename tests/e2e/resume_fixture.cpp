#include "resume_fixture.h"

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <sstream>

namespace norvane::testing {

namespace fs = std::filesystem;

Product::Product(Commits commits) : m_commits(commits) {
    fs::create_directory(m_program.Path() / "Report");
    fs::copy_file(NORVANE_INSTALLER, Installer());
    fs::permissions(Installer(), fs::perms::owner_all);
    m_database.Execute("create table versions (code integer, build integer, data integer,"
                       " update_date timestamp);"
                       "create table INFO_DOC (ID integer not null primary key,"
                       " NOTE_U blob sub_type 0);"
                       "insert into INFO_DOC (ID) values (7);"
                       "insert into INFO_DOC (ID) values (10);"
                       "insert into versions values (1, 4, 254, '2020-01-01');");
    WriteIni();
}

void Product::WriteIni() {
    std::string update;
    if (m_commits == Commits::OnePerStatement)
        update += "OneTransactionPerStatement=1\r\n";
    if (m_lockWaitSeconds >= 0)
        update += "LockWaitSeconds=" + std::to_string(m_lockWaitSeconds) + "\r\n";
    WriteFile(m_program.Path() / "nrv.ini",
              "[Common]\r\nPathBaseIB=" + m_database.Path() +
                  (m_server.empty() ? "\r\nTypeServer=0\r\n"
                                    : "\r\nTypeServer=1\r\nNameServer=" + m_server + "\r\n") +
                  (update.empty() ? "" : "[Update]\r\n" + update));
}

void Product::UseServer(const std::string& server) {
    m_server = server;
    WriteIni();
}

void Product::UseLockWaitSeconds(int seconds) {
    m_lockWaitSeconds = seconds;
    WriteIni();
}

void Product::Execute(const std::string& isqlScript) {
    m_database.Execute(isqlScript);
}

void Product::ReplaceInstaller(const std::string& path) {
    fs::copy_file(path, Installer(), fs::copy_options::overwrite_existing);
}

std::int64_t Product::Count(const std::string& select) {
    return m_database.QueryCount(select);
}

int Product::Run(const std::vector<std::string>& fault) {
    return RunWith({"--unattended"}, fault);
}

int Product::RunWith(const std::vector<std::string>& arguments,
                     const std::vector<std::string>& fault) {
    std::vector<std::string> argv{Installer()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ChildProcess installer(argv, Environment(fault));
    const int status = installer.Wait();
    m_lastOutput = installer.Out() + installer.Err();
    return status;
}

std::unique_ptr<ChildProcess> Product::Start(const std::vector<std::string>& fault) const {
    return std::make_unique<ChildProcess>(std::vector<std::string>{Installer(), "--unattended"},
                                          Environment(fault));
}

std::vector<std::string> Product::Environment(const std::vector<std::string>& fault) const {
    std::vector<std::string> environment{"TMPDIR=" + m_temp.Str(), "DISPLAY="};
    if (!fault.empty()) {
        environment.insert(environment.end(), {"NORVANE_FBCLIENT=" NORVANE_FAULT_INJECTION,
                                               "LD_PRELOAD=" NORVANE_FAULT_INJECTION});
        environment.insert(environment.end(), fault.begin(), fault.end());
    }
    return environment;
}

std::string Product::DatabaseState() {
    std::string state = m_database.ExtractMetadata();
    // A database no update has touched yet (one a rehearsal ran on) has neither the installer's
    // tables nor the packages'.
    const bool updated =
        m_database.QueryCount("select count(*) from rdb$relations where rdb$relation_name in "
                              "('NORVANE$UPDATE_JOURNAL', 'NORVANE$UPDATE_LOCK')") == 2;
    state += m_database.Output(
        std::string("set list on;") + (updated ? "select N, T from NOKEY order by N, T;" : "") +
        "select code, build, data, update_date from versions order by update_date;"
        "select ID from INFO_DOC order by ID;" +
        (updated
             ? "select PACKAGE, ITEM, DIGEST, ORDINAL from NORVANE$UPDATE_JOURNAL order by 1, 2, 4;"
               // Who took the lock last differs from run to run; that someone did does not.
               "select ID, TAKEN_AT is not null HOLDER_NAMED from NORVANE$UPDATE_LOCK;"
               // The engine's own transaction writes no row of these tables.
               "select (select count(*) from NOKEY where rdb$record_version = 0) NOKEY_UNWRITTEN,"
               " (select count(*) from versions where rdb$record_version = 0) VERSIONS_UNWRITTEN,"
               " (select count(*) from INFO_DOC where rdb$record_version = 0) INFO_DOC_UNWRITTEN,"
               " (select count(*) from NORVANE$UPDATE_JOURNAL where rdb$record_version = 0)"
               " JOURNAL_UNWRITTEN from rdb$database;"
             : "select (select count(*) from versions where rdb$record_version = 0) "
               "VERSIONS_UNWRITTEN, (select count(*) from INFO_DOC where rdb$record_version = 0) "
               "INFO_DOC_UNWRITTEN from rdb$database;"));
    for (const int id : {7, 10}) {
        const std::string row = "from INFO_DOC where ID = " + std::to_string(id);
        state += "blob " + std::to_string(id) + ": " +
                 (m_database.QueryCount("select count(*) " + row + " and NOTE_U is null") > 0
                      ? "<null>"
                      : m_database.QueryBlob("select NOTE_U " + row)) +
                 "\n";
    }
    // Every product's database has a path of its own.
    for (std::size_t at = state.find(m_database.Path()); at != std::string::npos;
         at = state.find(m_database.Path()))
        state.replace(at, m_database.Path().size(), "<database>");
    return state;
}

std::map<std::string, std::string> Product::ProgramFolder() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(m_program.Path())) {
        const std::string relative = fs::relative(entry.path(), m_program.Path()).string();
        if (relative == "norvane-update" || relative == "nrv.ini" ||
            relative == "norvane-update.log")
            continue;
        files[relative] = entry.is_regular_file() ? ReadFile(entry.path()) : "<folder>";
    }
    return files;
}

std::string Product::History() const {
    return ReadFile(m_program.Path() / "norvane-update.log");
}

int Product::HistoryBlocks() const {
    const std::string history = History();
    int blocks = 0;
    for (std::size_t at = history.find("=== "); at != std::string::npos;
         at = history.find("=== ", at + 1))
        ++blocks;
    return blocks;
}

namespace {

// The reference is made once for all the test processes of a build and kept in a file,
// written whole under another name first, so that one process never reads half of another's.
void Save(const Reference& reference, const fs::path& file) {
    std::ostringstream out;
    const auto text = [&](const std::string& value) { out << value.size() << ' ' << value; };
    out << reference.status << ' ' << reference.commits << ' ' << reference.renames << ' '
        << reference.executes << ' ';
    text(reference.database);
    out << ' ' << reference.programFolder.size() << ' ';
    for (const auto& [name, bytes] : reference.programFolder) {
        text(name);
        text(bytes);
    }
    out << ' ' << reference.createTableWrites.size();
    for (const long writes : reference.createTableWrites)
        out << ' ' << writes;
    const fs::path staged = file.string() + "." + std::to_string(::getpid());
    WriteFile(staged, out.str());
    fs::rename(staged, file);
}

std::optional<Reference> Load(const fs::path& file) {
    std::istringstream in(ReadFile(file));
    Reference reference;
    const auto text = [&](std::string& value) {
        std::size_t size = 0;
        in >> size;
        in.get();
        value.resize(size);
        in.read(value.data(), static_cast<std::streamsize>(size));
    };
    std::size_t files = 0;
    if (!(in >> reference.status >> reference.commits >> reference.renames >> reference.executes))
        return std::nullopt;
    text(reference.database);
    in >> files;
    for (std::size_t i = 0; i < files; ++i) {
        std::string name;
        std::string bytes;
        text(name);
        text(bytes);
        reference.programFolder[name] = bytes;
    }
    std::size_t creates = 0;
    in >> creates;
    reference.createTableWrites.resize(creates);
    for (long& writes : reference.createTableWrites)
        in >> writes;
    return in ? std::optional(reference) : std::nullopt;
}

} // namespace

namespace {

Reference MakeReference(Commits commits) {
    // Named after the state's form, the way of committing and the installer, so that neither
    // a change of what is compared nor a new build reads an old reference.
    const fs::path cache =
        fs::path(NORVANE_RESUME_CACHE) /
        ("reference-5-" + std::string(commits == Commits::Grouped ? "grouped-" : "one-") +
         std::to_string(fs::last_write_time(NORVANE_INSTALLER).time_since_epoch().count()));
    if (auto saved = Load(cache))
        return *saved;
    Product product(commits);
    TempFolder tally;
    Reference made;
    made.status = product.Run({"NORVANE_FAULT_TALLY=" + tally / "tally"});
    made.database = product.DatabaseState();
    made.programFolder = product.ProgramFolder();
    std::istringstream counts(ReadFile(tally.Path() / "tally"));
    counts >> made.commits >> made.renames >> made.executes;
    for (long writes = 0; counts >> writes;)
        made.createTableWrites.push_back(writes);
    fs::create_directories(cache.parent_path());
    Save(made, cache);
    return made;
}

} // namespace

const Reference& UninterruptedRun(Commits commits) {
    static const Reference grouped = MakeReference(Commits::Grouped);
    if (commits == Commits::Grouped)
        return grouped;
    static const Reference oneByOne = MakeReference(Commits::OnePerStatement);
    return oneByOne;
}

} // namespace norvane::testing
