#include "platform/library.h"

#include "base/exceptions.h"

#include <utility>

namespace norvane::platform {

SharedLibrary SharedLibrary::Open(const std::vector<std::string>& candidates,
                                  std::string_view what) {
    std::string reasons;
    for (const std::string& name : candidates) {
        std::string error;
        if (void* handle = LoadFile(name, error))
            return SharedLibrary(handle, name);
        reasons += reasons.empty() ? "" : "; ";
        reasons += name + ": " + error;
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
        if (m_handle != nullptr)
            Unload(m_handle);
        m_handle = std::exchange(other.m_handle, nullptr);
        m_name = std::move(other.m_name);
    }
    return *this;
}

SharedLibrary::~SharedLibrary() {
    if (m_handle != nullptr)
        Unload(m_handle);
}

void* SharedLibrary::Symbol(const char* name) const {
    return m_handle != nullptr ? FindSymbol(m_handle, name) : nullptr;
}

} // namespace norvane::platform
