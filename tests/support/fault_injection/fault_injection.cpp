// A test-only library that lets a test act at an exact point of a real installer run. The
// installer loads it as its Firebird client (NORVANE_FBCLIENT) and the system preloads it
// (LD_PRELOAD); every client call it does not define reaches the real client, on which it
// depends.
//
//   NORVANE_FAULT_COMMIT=n        act at the nth isc_commit_transaction
//   NORVANE_FAULT_COUNT_FROM=text the commits NORVANE_FAULT_COMMIT counts start with the first
//                                 statement prepared whose text holds text
//   NORVANE_FAULT_CREATE_TABLE=n  act at the nth commit of a transaction that prepared a
//                                 CREATE TABLE
//   NORVANE_FAULT_EXECUTE=n       act at the nth statement executed (isc_dsql_execute and
//                                 _execute2), counted like commits from NORVANE_FAULT_COUNT_FROM
//   NORVANE_FAULT_RENAME=n        act at the nth rename (a program file put in place)
//   NORVANE_FAULT_WHEN=before     act before that call instead of after it returned
//   NORVANE_FAULT_WHEN=during     act NORVANE_FAULT_DELAY_US microseconds after that commit
//                                 started, from another thread, wherever the installer is then
//   NORVANE_FAULT_WHEN=write      act just before the NORVANE_FAULT_WRITE th page the engine
//                                 writes to a file (pwrite64) while that commit runs
//   NORVANE_FAULT_TORN=1          with WHEN=write: as the system does with a write through its
//                                 file cache that a kill cuts off, that page's first memory
//                                 page (4 KiB) is written before the kill, the rest is not
//   NORVANE_FAULT_LANDED=file     written as it acts during a commit: "inside" when the commit
//                                 had not returned yet, else "after"; " CREATE TABLE" follows
//                                 when that commit was one of a CREATE TABLE
//   NORVANE_FAULT_SIGNAL=TERM     the signal raised at the installer: KILL (the default), TERM,
//                                 INT or HUP
//   NORVANE_FAULT_DETACH=hang     isc_detach_database never returns, as an engine stuck in its
//                                 clean-up
//   NORVANE_FAULT_TRACE=file      every statement prepared, executed and committed is appended
//                                 to file as it happens, to tell which call a number names
//   NORVANE_FAULT_TALLY=file      when the installer ends normally, written as
//                                 "commits renames executes" on one line, then the pages each
//                                 CREATE TABLE commit wrote, on the next
#include <ibase.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string_view>
#include <thread>
#include <vector>

namespace {

long Setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::atol(value) : 0;
}

// When to act at the chosen call; after it returned unless the test says otherwise.
enum class Moment { Before, After, During, Write };

Moment ChosenMoment() {
    const char* when = std::getenv("NORVANE_FAULT_WHEN");
    if (when == nullptr)
        return Moment::After;
    if (std::strcmp(when, "before") == 0)
        return Moment::Before;
    if (std::strcmp(when, "during") == 0)
        return Moment::During;
    if (std::strcmp(when, "write") == 0)
        return Moment::Write;
    return Moment::After;
}

int SignalToRaise() {
    const char* name = std::getenv("NORVANE_FAULT_SIGNAL");
    if (name == nullptr || std::strcmp(name, "KILL") == 0)
        return SIGKILL;
    if (std::strcmp(name, "TERM") == 0)
        return SIGTERM;
    if (std::strcmp(name, "INT") == 0)
        return SIGINT;
    if (std::strcmp(name, "HUP") == 0)
        return SIGHUP;
    return SIGKILL;
}

// Sends the signal to the whole process, as a kill from outside does; the installer's own
// signal thread takes it, and is given a moment to, so that the installer has it noted
// before it goes on, as it would have at once from a handler of the thread that raised it.
void Act() {
    ::kill(::getpid(), SignalToRaise());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

// Acts when call number `number` of a kind is the one the test named, at the moment it asked
// for: before the call is made, or after it returned.
void ActAt(long number, const char* setting, Moment moment) {
    const long wanted = Setting(setting);
    if (wanted > 0 && number == wanted && ChosenMoment() == moment)
        Act();
}

// The chosen commit is still in the client while this is false.
std::atomic<bool> chosenCommitReturned{false};

void WriteLanded(const char* where, bool createsTable) {
    if (const char* file = std::getenv("NORVANE_FAULT_LANDED")) {
        if (std::FILE* out = std::fopen(file, "w")) {
            std::fputs(where, out);
            if (createsTable)
                std::fputs(" CREATE TABLE", out);
            std::fclose(out);
        }
    }
}

// Acts a while after the chosen commit started, telling the test whether the commit was
// still running then.
void ActDuring(long number, const char* setting, bool createsTable) {
    const long wanted = Setting(setting);
    if (wanted <= 0 || number != wanted || ChosenMoment() != Moment::During)
        return;
    std::thread([createsTable] {
        std::this_thread::sleep_for(std::chrono::microseconds(Setting("NORVANE_FAULT_DELAY_US")));
        WriteLanded(chosenCommitReturned ? "after" : "inside", createsTable);
        Act();
    }).detach();
}

// The pages written while the chosen commit (or, for the tally, any CREATE TABLE commit)
// runs; -1 outside such a commit.
std::atomic<long> writesInCommit{-1};
// Whether the commit running is the one to act in at a page write.
std::atomic<bool> actingOnWrites{false};
std::atomic<bool> chosenCommitCreatesTable{false};

// Makes the page writes count when this commit is the one chosen to act in.
void WatchWrites(long number, const char* setting, bool createsTable) {
    const long wanted = Setting(setting);
    if (wanted <= 0 || number != wanted || ChosenMoment() != Moment::Write)
        return;
    chosenCommitCreatesTable = createsTable;
    actingOnWrites = true;
    writesInCommit = 0;
}

long commits = 0;
// The commits NORVANE_FAULT_COMMIT counts, from the statement NORVANE_FAULT_COUNT_FROM names.
long countedCommits = 0;
std::atomic<bool> counting{std::getenv("NORVANE_FAULT_COUNT_FROM") == nullptr};
long createTableCommits = 0;
long renames = 0;
long executes = 0;
std::vector<long> createTableWrites;

// The transactions that prepared a CREATE TABLE and have not ended yet.
std::mutex creatingMutex;
std::set<isc_tr_handle> creating;

bool IsCreateTable(const char* sql, unsigned short length) {
    const std::size_t size = length != 0 ? length : std::strlen(sql);
    std::size_t at = 0;
    // Blanks and comments may stand before the statement.
    while (at < size) {
        if (std::isspace(static_cast<unsigned char>(sql[at]))) {
            ++at;
        } else if (at + 1 < size && sql[at] == '/' && sql[at + 1] == '*') {
            const std::size_t end = std::string_view(sql, size).find("*/", at + 2);
            at = end != std::string_view::npos ? end + 2 : size;
        } else if (at + 1 < size && sql[at] == '-' && sql[at + 1] == '-') {
            while (at < size && sql[at] != '\n')
                ++at;
        } else {
            break;
        }
    }
    constexpr char Wanted[] = "create table";
    for (std::size_t i = 0; i + 1 < sizeof Wanted; ++i) {
        if (at + i >= size || std::tolower(static_cast<unsigned char>(sql[at + i])) != Wanted[i])
            return false;
    }
    return true;
}

// Whether the transaction prepared a CREATE TABLE; it is forgotten either way, since its
// handle may be given to a later transaction.
bool EndsCreating(isc_tr_handle* transaction) {
    std::lock_guard lock(creatingMutex);
    return transaction != nullptr && creating.erase(*transaction) > 0;
}

// Tells a test how many points a whole run has, to choose among.
struct Tally {
    ~Tally() {
        const char* file = std::getenv("NORVANE_FAULT_TALLY");
        if (file == nullptr)
            return;
        if (std::FILE* out = std::fopen(file, "w")) {
            std::fprintf(out, "%ld %ld %ld\n", commits, renames, executes);
            for (const long writes : createTableWrites)
                std::fprintf(out, "%ld ", writes);
            std::fprintf(out, "\n");
            std::fclose(out);
        }
    }
} tally;

void Trace(const char* what, long number, std::string_view text = {}) {
    static const char* file = std::getenv("NORVANE_FAULT_TRACE");
    if (file == nullptr)
        return;
    if (std::FILE* out = std::fopen(file, "a")) {
        std::fprintf(out, "%s %ld %.*s\n", what, number,
                     static_cast<int>(std::min<std::size_t>(text.size(), 70)), text.data());
        std::fclose(out);
    }
}

template <typename Function> Function Next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" ISC_STATUS ISC_EXPORT isc_dsql_prepare(ISC_STATUS* status, isc_tr_handle* transaction,
                                                  isc_stmt_handle* statement, unsigned short length,
                                                  const ISC_SCHAR* sql, unsigned short dialect,
                                                  XSQLDA* sqlda) {
    static const auto next = Next<decltype(&isc_dsql_prepare)>("isc_dsql_prepare");
    if (transaction != nullptr && sql != nullptr && IsCreateTable(sql, length)) {
        std::lock_guard lock(creatingMutex);
        creating.insert(*transaction);
    }
    if (sql != nullptr)
        Trace("prepare", 0, std::string_view(sql, length != 0 ? length : std::strlen(sql)));
    if (const char* from = std::getenv("NORVANE_FAULT_COUNT_FROM");
        from != nullptr && sql != nullptr &&
        std::string_view(sql, length != 0 ? length : std::strlen(sql)).find(from) !=
            std::string_view::npos)
        counting = true;
    return next(status, transaction, statement, length, sql, dialect, sqlda);
}

extern "C" ISC_STATUS ISC_EXPORT isc_rollback_transaction(ISC_STATUS* status,
                                                          isc_tr_handle* transaction) {
    static const auto next = Next<decltype(&isc_rollback_transaction)>("isc_rollback_transaction");
    EndsCreating(transaction);
    return next(status, transaction);
}

extern "C" ISC_STATUS ISC_EXPORT isc_commit_transaction(ISC_STATUS* status,
                                                        isc_tr_handle* transaction) {
    static const auto next = Next<decltype(&isc_commit_transaction)>("isc_commit_transaction");
    ++commits;
    const long number = counting ? ++countedCommits : 0;
    const long createTable = EndsCreating(transaction) ? ++createTableCommits : 0;
    Trace("commit", number);
    ActAt(number, "NORVANE_FAULT_COMMIT", Moment::Before);
    ActAt(createTable, "NORVANE_FAULT_CREATE_TABLE", Moment::Before);
    ActDuring(number, "NORVANE_FAULT_COMMIT", createTable > 0);
    ActDuring(createTable, "NORVANE_FAULT_CREATE_TABLE", true);
    if (createTable > 0)
        writesInCommit = 0;
    WatchWrites(number, "NORVANE_FAULT_COMMIT", createTable > 0);
    WatchWrites(createTable, "NORVANE_FAULT_CREATE_TABLE", true);
    const ISC_STATUS result = next(status, transaction);
    if (createTable > 0)
        createTableWrites.push_back(writesInCommit);
    writesInCommit = -1;
    actingOnWrites = false;
    if ((Setting("NORVANE_FAULT_COMMIT") == number && number > 0) ||
        (Setting("NORVANE_FAULT_CREATE_TABLE") == createTable && createTable > 0))
        chosenCommitReturned = true;
    ActAt(number, "NORVANE_FAULT_COMMIT", Moment::After);
    ActAt(createTable, "NORVANE_FAULT_CREATE_TABLE", Moment::After);
    return result;
}

namespace {

// Counts an execution and acts around it as the test asked. The client's isc_dsql_execute
// calls isc_dsql_execute2, which comes here too: only the outer call counts.
thread_local bool executing = false;

template <typename Call> ISC_STATUS CountedExecute(Call&& call) {
    if (executing)
        return call();
    executing = true;
    struct Done {
        ~Done() { executing = false; }
    } done;
    const long number = counting ? ++executes : 0;
    Trace("execute", number);
    ActAt(number, "NORVANE_FAULT_EXECUTE", Moment::Before);
    const ISC_STATUS result = call();
    ActAt(number, "NORVANE_FAULT_EXECUTE", Moment::After);
    return result;
}

} // namespace

extern "C" ISC_STATUS ISC_EXPORT isc_dsql_execute(ISC_STATUS* status, isc_tr_handle* transaction,
                                                  isc_stmt_handle* statement,
                                                  unsigned short dialect, const XSQLDA* sqlda) {
    static const auto next = Next<decltype(&isc_dsql_execute)>("isc_dsql_execute");
    return CountedExecute([&] { return next(status, transaction, statement, dialect, sqlda); });
}

extern "C" ISC_STATUS ISC_EXPORT isc_dsql_execute2(ISC_STATUS* status, isc_tr_handle* transaction,
                                                   isc_stmt_handle* statement,
                                                   unsigned short dialect, const XSQLDA* in,
                                                   const XSQLDA* out) {
    static const auto next = Next<decltype(&isc_dsql_execute2)>("isc_dsql_execute2");
    return CountedExecute([&] { return next(status, transaction, statement, dialect, in, out); });
}

extern "C" ISC_STATUS ISC_EXPORT isc_detach_database(ISC_STATUS* status, isc_db_handle* database) {
    static const auto next = Next<decltype(&isc_detach_database)>("isc_detach_database");
    if (const char* detach = std::getenv("NORVANE_FAULT_DETACH");
        detach != nullptr && std::strcmp(detach, "hang") == 0) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    return next(status, database);
}

extern "C" int rename(const char* from, const char* to) {
    static const auto next = Next<int (*)(const char*, const char*)>("rename");
    const long number = ++renames;
    ActAt(number, "NORVANE_FAULT_RENAME", Moment::Before);
    const int result = next(from, to);
    ActAt(number, "NORVANE_FAULT_RENAME", Moment::After);
    return result;
}

extern "C" ssize_t pwrite64(int file, const void* bytes, size_t size, off64_t offset) {
    static const auto next = Next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    if (writesInCommit >= 0) {
        const long number = ++writesInCommit;
        if (actingOnWrites && number == Setting("NORVANE_FAULT_WRITE")) {
            WriteLanded("inside", chosenCommitCreatesTable);
            // A process killed inside a write through the file cache stops at the next memory
            // page of it: the rest of a database page larger than that is not written. A
            // direct write goes to the device whole or not at all.
            if (Setting("NORVANE_FAULT_TORN") > 0 && (::fcntl(file, F_GETFL) & O_DIRECT) == 0) {
                const long memoryPage = ::sysconf(_SC_PAGESIZE);
                if (size > static_cast<size_t>(memoryPage))
                    next(file, bytes, static_cast<size_t>(memoryPage), offset);
            }
            Act();
        }
    }
    return next(file, bytes, size, offset);
}
