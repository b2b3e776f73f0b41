#pragma once

#include <cstdint>
#include <optional>

namespace mirebolt::protection {

// The largest plain file Encrypt takes, and the largest message Decrypt takes. The encryption
// limit lies 508 bytes below the decryption limit.
inline constexpr std::uint64_t EncryptSizeLimit = 102'399'492;
inline constexpr std::uint64_t DecryptSizeLimit = 102'400'000;

// A size equal to the limit fits; one that could not be read never does.
constexpr bool FitsLimit(std::optional<std::uint64_t> size, std::uint64_t limit) {
    return size.has_value() && *size <= limit;
}

}  // namespace mirebolt::protection
