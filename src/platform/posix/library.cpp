#include "platform/library.h"

#include "base/exceptions.h"

#include <dlfcn.h>

#include <cstdlib>

namespace norvane::platform {

void* SharedLibrary::LoadFile(const std::string& name, std::string& error) {
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "unknown error";
    }
    return handle;
}

void SharedLibrary::Unload(void* handle) noexcept {
    dlclose(handle);
}

void* SharedLibrary::FindSymbol(void* handle, const char* name) {
    return dlsym(handle, name);
}

std::vector<std::string> FirebirdClientCandidates(const std::string& /*exeDir*/) {
    // The system's loader path is where Debian puts the client; the installer folder is
    // not searched, so a stray library beside the program is never picked up.
    const char* forced = std::getenv("NORVANE_FBCLIENT");
    if (forced && *forced)
        return {forced};
    return {"libfbclient.so.2", "libfbclient.so"};
}

} // namespace norvane::platform
