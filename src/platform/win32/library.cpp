#include "platform/library.h"

#include "base/exceptions.h"
#include "platform/files.h"
#include "platform/win32/wide.h"

namespace norvane::platform {

using win32::Wide;

namespace {

constexpr int ProgramBits = sizeof(void*) * 8;

// The bitness a PE file was built for (32 or 64), or 0 when it is not one.
int ImageBits(const std::wstring& path) {
    const win32::Handle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.Valid())
        return 0;
    const auto readAt = [&](LONG offset, void* buffer, DWORD size) {
        DWORD done = 0;
        return ::SetFilePointer(file.Get(), offset, nullptr, FILE_BEGIN) !=
                   INVALID_SET_FILE_POINTER &&
               ::ReadFile(file.Get(), buffer, size, &done, nullptr) && done == size;
    };
    IMAGE_DOS_HEADER dos{};
    if (!readAt(0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE)
        return 0;
    // The signature, the file header, then the optional header's magic, which tells PE32 from
    // PE32+ whatever the processor.
    struct {
        DWORD signature;
        IMAGE_FILE_HEADER file;
        WORD magic;
    } nt{};
    if (!readAt(dos.e_lfanew, &nt.signature, sizeof nt.signature) ||
        !readAt(dos.e_lfanew + sizeof nt.signature, &nt.file, sizeof nt.file) ||
        !readAt(dos.e_lfanew + sizeof nt.signature + sizeof nt.file, &nt.magic, sizeof nt.magic) ||
        nt.signature != IMAGE_NT_SIGNATURE)
        return 0;
    if (nt.magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        return 32;
    if (nt.magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return 64;
    return 0;
}

// The file a bare name would load from; the name itself when none is found.
std::wstring FoundFile(const std::wstring& name) {
    std::wstring found(MAX_PATH, L'\0');
    const DWORD length = ::SearchPathW(nullptr, name.c_str(), nullptr,
                                       static_cast<DWORD>(found.size()), found.data(), nullptr);
    if (length == 0 || length >= found.size())
        return name;
    found.resize(length);
    return found;
}

} // namespace

void* SharedLibrary::LoadFile(const std::string& candidate, std::string& error) {
    const std::wstring name = Wide(candidate);
    // A library given with its folder finds its own DLLs beside it; a bare name follows
    // the system's search order.
    const bool hasFolder = name.find_first_of(L"\\/:") != std::wstring::npos;
    HMODULE handle = hasFolder
                         ? ::LoadLibraryExW(name.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                         : ::LoadLibraryW(name.c_str());
    if (handle != nullptr)
        return handle;
    const DWORD code = ::GetLastError();
    error = SystemErrorText(code);
    // The system says only that the format is wrong; a library built for the other bitness is
    // what a user meets, and a 64-bit program can never load a 32-bit one, nor the reverse.
    if (code == ERROR_BAD_EXE_FORMAT) {
        const int bits = ImageBits(hasFolder ? name : FoundFile(name));
        if (bits != 0 && bits != ProgramBits)
            error = "a " + std::to_string(bits) + "-bit library, which this " +
                    std::to_string(ProgramBits) + "-bit program cannot load: use the " +
                    std::to_string(bits) + "-bit norvane-update.exe";
    }
    return nullptr;
}

void SharedLibrary::Unload(void* handle) noexcept {
    ::FreeLibrary(static_cast<HMODULE>(handle));
}

void* SharedLibrary::FindSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle), name));
}

} // namespace norvane::platform
