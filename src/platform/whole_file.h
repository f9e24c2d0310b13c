#pragma once

// The whole-file read of both platforms' files.cpp.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace norvane::platform {

/// The bytes of an open file whose length the system reported as reportedSize (0 when it
/// reports none). readSome(data, size) reads at most size bytes into data and returns how
/// many it read, 0 at the end of the file; it raises when the read fails.
///
/// The buffer is sized once from the reported length, so a large file is neither copied nor
/// held twice while it grows. A file that is longer than reported (it grew meanwhile, or it
/// reports no length) is read on in steps; one that is shorter is cut to what was read.
template <typename ReadSome> std::string ReadWhole(std::uint64_t reportedSize, ReadSome readSome) {
    std::string content;
    content.resize(
        static_cast<std::size_t>(std::min<std::uint64_t>(reportedSize, content.max_size())));
    std::size_t done = 0;
    while (done < content.size()) {
        const std::size_t got = readSome(content.data() + done, content.size() - done);
        if (got == 0) {
            content.resize(done);
            return content;
        }
        done += got;
    }
    // The reported length is read; whatever follows is taken in steps until the end.
    char step[64 * 1024];
    while (const std::size_t got = readSome(step, sizeof step))
        content.append(step, got);
    return content;
}

} // namespace norvane::platform
