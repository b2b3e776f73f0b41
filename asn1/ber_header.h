#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mirebolt::platform {

// The identifier and length octets that open a BER element.
struct DecodedHeader {
    enum class Outcome {
        Complete,
        TooShort,   // the bytes end before the header does
        Malformed,  // a high tag number (which nothing we read uses), an indefinite length on a
                    // primitive element, or a length of more than eight octets
    };
    Outcome outcome = Outcome::Malformed;
    std::uint8_t tag = 0;
    bool indefinite = false;
    std::uint64_t length = 0;  // definite lengths only
    std::uint32_t headerLength = 0;
};

// The longest header DecodeBerHeader accepts: the identifier, then up to eight length octets
// after the one that counts them.
inline constexpr std::size_t kLongestBerHeader = 10;

// Decodes the header at the start of `bytes`.
DecodedHeader DecodeBerHeader(std::span<const std::uint8_t> bytes);

}  // namespace mirebolt::platform
