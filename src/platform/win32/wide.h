#pragma once

// The one place the Win32 layer and the Windows front end include <windows.h>. Paths and
// texts are UTF-8 inside the program; these helpers convert them at the system's edge.

#include <windows.h>

// <windows.h> maps these names to their A/W forms; the program has functions and types of
// its own by these names, and calls the W forms explicitly.
#undef DeleteFile
#undef MoveFile
#undef CopyFile
#undef MessageBox

#include <cstdint>
#include <string>
#include <string_view>

namespace norvane::platform::win32 {

/// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::wstring Wide(std::string_view text);

/// UTF-16 to UTF-8.
std::string Utf8(std::wstring_view text);

/// The system's text for an error code as UTF-16, trimmed like SystemErrorText.
std::wstring SystemErrorTextW(std::uint32_t code);

/// A kernel handle closed when the owner goes. Both null and INVALID_HANDLE_VALUE mean none.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    Handle(Handle&& other) noexcept : m_handle(other.Release()) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Reset(); }

    bool Valid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }
    HANDLE Release() {
        HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void Reset(HANDLE handle = nullptr) {
        if (Valid())
            ::CloseHandle(m_handle);
        m_handle = handle;
    }

private:
    HANDLE m_handle = nullptr;
};

} // namespace norvane::platform::win32
