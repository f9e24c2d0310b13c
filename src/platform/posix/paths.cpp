#include "platform/paths.h"

#include "base/exceptions.h"

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <unistd.h>
#include <vector>

namespace norvane::platform {

const PathRules& NativePathRules() {
    return PosixPathRules;
}

std::string ExecutablePath() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0 || static_cast<std::size_t>(length) >= buffer.size())
        throw EOSError(std::string("Cannot find the program's own path. ") + std::strerror(errno));
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::string TempFolder() {
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir != nullptr && tmpdir[0] == '/')
        return tmpdir;
    return "/tmp";
}

void UseUtf8SystemNames() {
    const auto isUtf8 = [] { return std::strcmp(::nl_langinfo(CODESET), "UTF-8") == 0; };
    if (std::setlocale(LC_CTYPE, "") != nullptr && isUtf8())
        return;
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr)
        std::setlocale(LC_CTYPE, "C.utf8");
}

} // namespace norvane::platform
