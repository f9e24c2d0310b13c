// A test-only library that lets a test act at an exact point of a real installer run. The
// installer loads it as its Firebird client (NORVANE_FBCLIENT) and the system preloads it
// (LD_PRELOAD); every client call it does not define reaches the real client, on which it
// depends.
//
//   NORVANE_FAULT_COMMIT=n     act at the nth isc_commit_transaction
//   NORVANE_FAULT_RENAME=n     act at the nth rename (a program file put in place)
//   NORVANE_FAULT_WHEN=before  act before that call instead of after it returned
//   NORVANE_FAULT_SIGNAL=TERM  the signal raised at the installer: KILL (the default), TERM,
//                              INT or HUP
//   NORVANE_FAULT_TALLY=file   when the installer ends normally, the numbers of commits and
//                              renames it made are written to file, "commits renames"
#include <ibase.h>

#include <dlfcn.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

long Setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::atol(value) : 0;
}

bool ActsBefore() {
    const char* when = std::getenv("NORVANE_FAULT_WHEN");
    return when != nullptr && std::strcmp(when, "before") == 0;
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
    if (wanted > 0 && number == wanted && ActsBefore() == before)
        ::raise(SignalToRaise());
}

long commits = 0;
long renames = 0;

// Tells a test how many points a whole run has, to choose among.
struct Tally {
    ~Tally() {
        const char* file = std::getenv("NORVANE_FAULT_TALLY");
        if (file == nullptr)
            return;
        if (std::FILE* out = std::fopen(file, "w")) {
            std::fprintf(out, "%ld %ld\n", commits, renames);
            std::fclose(out);
        }
    }
} tally;

template <typename Function> Function Next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" ISC_STATUS ISC_EXPORT isc_commit_transaction(ISC_STATUS* status,
                                                        isc_tr_handle* transaction) {
    static const auto next = Next<decltype(&isc_commit_transaction)>("isc_commit_transaction");
    const long number = ++commits;
    ActAt(number, "NORVANE_FAULT_COMMIT", true);
    const ISC_STATUS result = next(status, transaction);
    ActAt(number, "NORVANE_FAULT_COMMIT", false);
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
