#include "platform/library.h"

#include "base/exceptions.h"

#include <dlfcn.h>

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

} // namespace norvane::platform
