#include "platform/raw_items.h"

#include "platform/win32/wide.h"

namespace norvane::platform {

namespace {

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    auto& names = *reinterpret_cast<std::vector<RawItemName>*>(param);
    if (IS_INTRESOURCE(name))
        names.push_back({{}, static_cast<std::uint16_t>(reinterpret_cast<ULONG_PTR>(name))});
    else
        names.push_back({win32::Utf8(name), std::nullopt});
    return TRUE;
}

} // namespace

std::vector<RawItemName> EnumerateRawItems() {
    std::vector<RawItemName> names;
    // A module without raw-data resources fails the call; that is an empty list.
    ::EnumResourceNamesW(nullptr, RT_RCDATA, CollectName, reinterpret_cast<LONG_PTR>(&names));
    return names;
}

std::optional<std::span<const std::byte>> FindRawItem(std::string_view name) {
    const std::wstring wideName = win32::Wide(name);
    // "#123" would be taken for an integer identifier; such names are not stored as text.
    if (wideName.empty() || wideName.front() == L'#')
        return std::nullopt;
    HRSRC info = ::FindResourceW(nullptr, wideName.c_str(), RT_RCDATA);
    if (info == nullptr)
        return std::nullopt;
    HGLOBAL loaded = ::LoadResource(nullptr, info);
    const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    const DWORD size = ::SizeofResource(nullptr, info);
    if (bytes == nullptr && size != 0)
        return std::nullopt;
    return std::span<const std::byte>(static_cast<const std::byte*>(bytes), size);
}

} // namespace norvane::platform
