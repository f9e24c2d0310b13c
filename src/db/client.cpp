#include "db/client.h"

#include "base/exceptions.h"
#include "db/client_library.h"
#include "db/firebird_error.h"
#include "platform/paths.h"

#include <vector>

namespace norvane::db {

namespace {

// The error codes of a status vector: the value after each isc_arg_gds, skipping the other
// arguments (strings, numbers, SQL state) that sit between them.
std::vector<long> ErrorCodes(const ISC_STATUS* status) {
    std::vector<long> codes;
    for (std::size_t i = 0; i + 1 < ISC_STATUS_LENGTH && status[i] != isc_arg_end;) {
        const ISC_STATUS kind = status[i];
        if (kind == isc_arg_gds)
            codes.push_back(static_cast<long>(status[i + 1]));
        if (kind == isc_arg_warning)
            break;
        i += kind == isc_arg_cstring ? 3 : 2;
    }
    return codes;
}

// Whether the vector ends where the client may have cut it: the legacy API copies the
// status into ISC_STATUS_LENGTH entries, an argument at a time, and drops what does not fit.
bool MayBeCut(std::ptrdiff_t used) {
    return used + 3 > ISC_STATUS_LENGTH;
}

} // namespace

std::shared_ptr<const Client> Client::Load(const std::string& exeDir) {
    // Database names are UTF-8 in the program; the client must see them so.
    platform::UseUtf8SystemNames();
    auto library = platform::SharedLibrary::Open(FirebirdClientCandidates(exeDir),
                                                 "the Firebird client library");
    auto client = std::make_shared<Client>(Key{}, std::move(library));
#define NORVANE_FB_RESOLVE(name)                                                                   \
    client->name = reinterpret_cast<decltype(&::name)>(client->EntryPoint(#name));
    NORVANE_FB_ENTRY_POINTS(NORVANE_FB_RESOLVE)
#undef NORVANE_FB_RESOLVE
    return client;
}

void* Client::EntryPoint(const char* name) const {
    void* address = m_library.Symbol(name);
    if (address == nullptr)
        throw ELibraryError("The Firebird client library " + LibraryName() +
                            " has no entry point " + name);
    return address;
}

void Client::Check(const ISC_STATUS* status) const {
    if (status[0] != 1 || status[1] == 0)
        return;
    // fb_interpret walks a copy, advancing the pointer over one message at a time.
    std::vector<ISC_STATUS> copy(status, status + ISC_STATUS_LENGTH);
    // Nothing is read past the copy, whatever the vector holds.
    copy.back() = isc_arg_end;
    const ISC_STATUS* cursor = copy.data();
    std::string text;
    char line[1024];
    for (const ISC_STATUS* message = cursor; fb_interpret(line, sizeof line, &cursor) > 0;
         message = cursor) {
        if (*cursor == isc_arg_end && MayBeCut(cursor - copy.data()) &&
            LostArguments(std::vector<ISC_STATUS>(message, cursor), line)) {
            text += (text.empty() ? "" : "\n") + std::string(CutShortNote);
            break;
        }
        if (!text.empty())
            text += '\n';
        text += line;
    }
    if (text.empty())
        text = "Firebird client error " + std::to_string(status[1]);
    throw EFirebirdError(text, isc_sqlcode(status), ErrorCodes(status));
}

bool Client::LostArguments(std::vector<ISC_STATUS> message, const std::string& text) const {
    // A message's text takes no more arguments than it names: one more changes it only when
    // some that it names are missing.
    static const char probe[] = "?";
    message.push_back(isc_arg_string);
    message.push_back(reinterpret_cast<ISC_STATUS>(probe));
    message.push_back(isc_arg_end);
    const ISC_STATUS* cursor = message.data();
    char line[1024];
    return fb_interpret(line, sizeof line, &cursor) > 0 && text != line;
}

} // namespace norvane::db
