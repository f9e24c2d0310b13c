#include "support/scratch_mount.h"

#include <sys/mount.h>

#include <cerrno>
#include <cstring>

namespace norvane::testing {

namespace {

std::string Refusal(const char* what) {
    return std::string(what) + " refused: " + std::strerror(errno) +
           " (mounting needs root and a system that allows it)";
}

} // namespace

std::unique_ptr<ScratchMount> ScratchMount::SmallDisk(const std::string& folder, std::size_t bytes,
                                                      std::string& whyNot) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        whyNot = Refusal("mounting a tmpfs");
        return nullptr;
    }
    return std::make_unique<ScratchMount>(Key{}, folder);
}

std::unique_ptr<ScratchMount> ScratchMount::ReadOnly(const std::string& folder,
                                                     std::string& whyNot) {
    if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        whyNot = Refusal("binding a folder");
        return nullptr;
    }
    auto mounted = std::make_unique<ScratchMount>(Key{}, folder);
    if (::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        whyNot = Refusal("making a bound folder read-only");
        return nullptr;
    }
    return mounted;
}

ScratchMount::~ScratchMount() {
    ::umount2(m_folder.c_str(), MNT_DETACH);
}

} // namespace norvane::testing
