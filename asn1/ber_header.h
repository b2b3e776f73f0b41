#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mirebolt::platform {

// The identifier and length octets that open a BER element, and where it starts.
struct BerHeader {
    // The first identifier octet: class, constructed bit and a number below 31, or 0x1F in its
    // low bits when the number follows in octets of its own. Nothing we read carries a number
    // of 31 or more, so a tag we look for never matches such an element.
    std::uint8_t tag = 0;
    std::uint32_t number = 0;  // the tag's number, low or high
    std::uint8_t identifierLength = 1;
    bool indefinite = false;
    // Definite lengths only; one too large for 64 bits is UINT64_MAX, beyond any input.
    std::uint64_t length = 0;
    std::uint64_t offset = 0;  // of the identifier octet
    std::uint32_t headerLength = 0;

    bool constructed() const { return (tag & 0x20) != 0; }
    std::uint64_t contentOffset() const { return offset + headerLength; }
};

enum class HeaderDecoding {
    Complete,
    TooShort,   // the bytes end before the header does
    Malformed,  // a tag number in a form BER does not allow or above kLargestTagNumber, an
                // indefinite length on a primitive element, or the reserved length octet 0xFF
};

// High tag numbers come in base-128 octets; four of them are far more than any ASN.1 module
// uses, and bound the identifier.
inline constexpr std::size_t kLongestTagNumber = 4;
inline constexpr std::uint32_t kLargestTagNumber = (1u << (7 * kLongestTagNumber)) - 1;
// A definite length takes up to 126 octets after the one that counts them.
inline constexpr std::size_t kLongestLength = 126;
// The longest header DecodeBerHeader accepts.
inline constexpr std::size_t kLongestBerHeader = 1 + kLongestTagNumber + 1 + kLongestLength;

// Decodes the header at the start of `bytes` into `header`, whose offset is left alone.
HeaderDecoding DecodeBerHeader(std::span<const std::uint8_t> bytes, BerHeader& header);

}  // namespace mirebolt::platform
