#include "platform/library.h"

#include "base/exceptions.h"

#include <dlfcn.h>

#include <cstdlib>
#include <utility>

namespace norvane::platform {

SharedLibrary SharedLibrary::Open(const std::vector<std::string>& candidates) {
    return Open(candidates, "the library");
}

SharedLibrary SharedLibrary::Open(const std::vector<std::string>& candidates,
                                  std::string_view what) {
    std::string reasons;
    for (const std::string& name : candidates) {
        if (void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL))
            return SharedLibrary(handle, name);
        const char* error = dlerror();
        reasons += reasons.empty() ? "" : "; ";
        reasons += name + ": " + (error ? error : "unknown error");
    }
    if (candidates.empty())
        reasons = "no file to load";
    throw ELibraryError("Cannot load " + std::string(what) + " " + reasons);
}

SharedLibrary::SharedLibrary(void* handle, std::string name)
    : m_handle(handle), m_name(std::move(name)) {}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)), m_name(std::move(other.m_name)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        if (m_handle)
            dlclose(m_handle);
        m_handle = std::exchange(other.m_handle, nullptr);
        m_name = std::move(other.m_name);
    }
    return *this;
}

SharedLibrary::~SharedLibrary() {
    if (m_handle)
        dlclose(m_handle);
}

void* SharedLibrary::Symbol(const char* name) const {
    return m_handle ? dlsym(m_handle, name) : nullptr;
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
