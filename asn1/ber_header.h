#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mirebolt::platform {

// The identifier and length octets that open a BER element, and where it starts.
struct BerHeader {
    std::uint8_t tag = 0;  // the identifier octet: class, constructed bit and a number below 31
    bool indefinite = false;
    std::uint64_t length = 0;  // definite lengths only
    std::uint64_t offset = 0;  // of the identifier octet
    std::uint32_t headerLength = 0;

    bool constructed() const { return (tag & 0x20) != 0; }
    std::uint64_t contentOffset() const { return offset + headerLength; }
};

enum class HeaderDecoding {
    Complete,
    TooShort,   // the bytes end before the header does
    Malformed,  // a high tag number (which nothing we read uses), an indefinite length on a
                // primitive element, or a length of more than eight octets
};

// The longest header DecodeBerHeader accepts: the identifier, then up to eight length octets
// after the one that counts them.
inline constexpr std::size_t kLongestBerHeader = 10;

// Decodes the header at the start of `bytes` into `header`, whose offset is left alone.
HeaderDecoding DecodeBerHeader(std::span<const std::uint8_t> bytes, BerHeader& header);

}  // namespace mirebolt::platform
