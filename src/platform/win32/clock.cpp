#include "platform/clock.h"

#include "platform/win32/wide.h"

#include <cstdio>

namespace norvane::platform {

std::string LocalTimeText() {
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", local.wYear, local.wMonth,
                  local.wDay, local.wHour, local.wMinute, local.wSecond);
    return text;
}

} // namespace norvane::platform
