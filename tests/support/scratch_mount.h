#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace norvane::testing {

/// A file system mounted over a folder for one test, unmounted when the owner goes: a small
/// tmpfs (a disk that fills up) or a read-only view of the folder itself. Mounting needs
/// root; where the system refuses, the makers give nothing and say why in whyNot.
class ScratchMount {
public:
    static std::unique_ptr<ScratchMount> SmallDisk(const std::string& folder, std::size_t bytes,
                                                   std::string& whyNot);
    static std::unique_ptr<ScratchMount> ReadOnly(const std::string& folder, std::string& whyNot);

    /// Only the makers mount; the key keeps make_unique usable.
    struct Key {
        explicit Key() = default;
    };
    ScratchMount(Key, std::string folder) : m_folder(std::move(folder)) {}
    ~ScratchMount();
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

private:
    std::string m_folder;
};

} // namespace norvane::testing
