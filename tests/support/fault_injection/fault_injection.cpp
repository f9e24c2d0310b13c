// A test-only library that lets a test act at an exact point of a real installer run. The
// installer loads it as its Firebird client (NORVANE_FBCLIENT) and the system preloads it
// (LD_PRELOAD); every client call it does not define reaches the real client, on which it
// depends.
//
//   NORVANE_FAULT_COMMIT=n        act at the nth isc_commit_transaction
//   NORVANE_FAULT_CREATE_TABLE=n  act at the nth commit of a transaction that prepared a
//                                 CREATE TABLE
//   NORVANE_FAULT_RENAME=n        act at the nth rename (a program file put in place)
//   NORVANE_FAULT_WHEN=before     act before that call instead of after it returned
//   NORVANE_FAULT_WHEN=during     act NORVANE_FAULT_DELAY_US microseconds after that commit
//                                 started, from another thread, wherever the installer is then
//   NORVANE_FAULT_LANDED=file     written as it acts during a commit: "inside" when the commit
//                                 had not returned yet, else "after"
//   NORVANE_FAULT_SIGNAL=TERM     the signal raised at the installer: KILL (the default), TERM,
//                                 INT or HUP
//   NORVANE_FAULT_TALLY=file      when the installer ends normally, written as
//                                 "commits renames" on one line, then the microseconds each
//                                 CREATE TABLE commit took, one line
#include <ibase.h>

#include <dlfcn.h>
#include <signal.h>

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

bool ActsWhen(const char* moment) {
    const char* when = std::getenv("NORVANE_FAULT_WHEN");
    return when != nullptr && std::strcmp(when, moment) == 0;
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

// Acts when call number `number` of a kind is the one the test named, at the moment it asked
// for: before the call is made, or after it returned.
void ActAt(long number, const char* setting, bool before) {
    const long wanted = Setting(setting);
    if (wanted > 0 && number == wanted && !ActsWhen("during") && ActsWhen("before") == before)
        ::raise(SignalToRaise());
}

// The chosen commit is still in the client while this is false.
std::atomic<bool> chosenCommitReturned{false};

// Acts a while after the chosen commit started, telling the test whether the commit was
// still running then.
void ActDuring(long number, const char* setting) {
    const long wanted = Setting(setting);
    if (wanted <= 0 || number != wanted || !ActsWhen("during"))
        return;
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::microseconds(Setting("NORVANE_FAULT_DELAY_US")));
        if (const char* file = std::getenv("NORVANE_FAULT_LANDED")) {
            if (std::FILE* out = std::fopen(file, "w")) {
                std::fputs(chosenCommitReturned ? "after" : "inside", out);
                std::fclose(out);
            }
        }
        ::raise(SignalToRaise());
    }).detach();
}

long commits = 0;
long createTableCommits = 0;
long renames = 0;
std::vector<long> createTableMicroseconds;

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
            std::fprintf(out, "%ld %ld\n", commits, renames);
            for (const long microseconds : createTableMicroseconds)
                std::fprintf(out, "%ld ", microseconds);
            std::fprintf(out, "\n");
            std::fclose(out);
        }
    }
} tally;

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
    const long number = ++commits;
    const long createTable = EndsCreating(transaction) ? ++createTableCommits : 0;
    ActAt(number, "NORVANE_FAULT_COMMIT", true);
    ActAt(createTable, "NORVANE_FAULT_CREATE_TABLE", true);
    ActDuring(number, "NORVANE_FAULT_COMMIT");
    ActDuring(createTable, "NORVANE_FAULT_CREATE_TABLE");
    const auto start = std::chrono::steady_clock::now();
    const ISC_STATUS result = next(status, transaction);
    if (createTable > 0)
        createTableMicroseconds.push_back(
            static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                  std::chrono::steady_clock::now() - start)
                                  .count()));
    if ((Setting("NORVANE_FAULT_COMMIT") == number && number > 0) ||
        (Setting("NORVANE_FAULT_CREATE_TABLE") == createTable && createTable > 0))
        chosenCommitReturned = true;
    ActAt(number, "NORVANE_FAULT_COMMIT", false);
    ActAt(createTable, "NORVANE_FAULT_CREATE_TABLE", false);
    return result;
}

extern "C" int rename(const char* from, const char* to) {
    static const auto next = Next<int (*)(const char*, const char*)>("rename");
    const long number = ++renames;
    ActAt(number, "NORVANE_FAULT_RENAME", true);
    const int result = next(from, to);
    ActAt(number, "NORVANE_FAULT_RENAME", false);
    return result;
}
