#include "update/step_key.h"

#include "base/sha256.h"

#include <algorithm>

namespace norvane::update {

namespace {

constexpr std::size_t PackedKeySize = 16 + 4;

} // namespace

StepKey StepKeys::Next(std::string_view text) {
    const Sha256Digest full = Sha256(text);
    StepKey key;
    std::copy_n(full.begin(), key.digest.size(), key.digest.begin());
    key.occurrence = m_seen[key.digest]++;
    return key;
}

std::string PackKeys(std::span<const StepKey> keys) {
    std::string bytes;
    bytes.reserve(keys.size() * PackedKeySize);
    for (const StepKey& key : keys) {
        bytes.append(reinterpret_cast<const char*>(key.digest.data()), key.digest.size());
        for (int shift = 0; shift < 32; shift += 8)
            bytes += static_cast<char>((key.occurrence >> shift) & 0xFF);
    }
    return bytes;
}

std::vector<StepKey> UnpackKeys(std::string_view bytes) {
    std::vector<StepKey> keys(bytes.size() / PackedKeySize);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string_view packed = bytes.substr(i * PackedKeySize, PackedKeySize);
        std::copy_n(reinterpret_cast<const std::uint8_t*>(packed.data()), 16,
                    keys[i].digest.begin());
        for (int k = 0; k < 4; ++k)
            keys[i].occurrence |=
                static_cast<std::uint32_t>(static_cast<std::uint8_t>(packed[16 + k])) << (8 * k);
    }
    return keys;
}

} // namespace norvane::update
