#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace norvane::platform {

/// A shared library loaded at run time, unloaded when the owner goes.
class SharedLibrary {
public:
    /// Loads the first of the candidates that loads. Raises ELibraryError naming them: "Cannot
    /// load <what> <name>: <reason>; <name>: <reason>".
    static SharedLibrary Open(const std::vector<std::string>& candidates, std::string_view what);

    SharedLibrary(SharedLibrary&&) noexcept;
    SharedLibrary& operator=(SharedLibrary&&) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    ~SharedLibrary();

    /// The address of an exported symbol, or null.
    void* Symbol(const char* name) const;

    const std::string& Name() const { return m_name; }

private:
    SharedLibrary(void* handle, std::string name);

    // The system's loader, one file a system.
    static void* LoadFile(const std::string& name, std::string& error);
    static void Unload(void* handle) noexcept;
    static void* FindSymbol(void* handle, const char* name);

    void* m_handle = nullptr;
    std::string m_name;
};

} // namespace norvane::platform
