#include "asn1/ber_header.h"

namespace mirebolt::platform {

namespace {

// The identifier octets: sets the tag, its number and how many octets they took.
HeaderDecoding DecodeIdentifier(std::span<const std::uint8_t> bytes, BerHeader& header) {
    header.tag = bytes[0];
    header.identifierLength = 1;
    header.number = bytes[0] & 0x1F;
    if (header.number != 0x1F) {
        return HeaderDecoding::Complete;
    }
    std::uint32_t number = 0;
    for (std::size_t i = 1;; ++i) {
        if (i > kLongestTagNumber) {
            return HeaderDecoding::Malformed;
        }
        // At least one length octet follows the identifier.
        if (bytes.size() < i + 2) {
            return HeaderDecoding::TooShort;
        }
        // A number in base 128 has no leading zero digit.
        if (i == 1 && bytes[i] == 0x80) {
            return HeaderDecoding::Malformed;
        }
        number = (number << 7) | (bytes[i] & 0x7F);
        if ((bytes[i] & 0x80) == 0) {
            header.identifierLength = static_cast<std::uint8_t>(i + 1);
            break;
        }
    }
    // Numbers below 31 have only the one-octet form.
    if (number < 0x1F) {
        return HeaderDecoding::Malformed;
    }
    header.number = number;
    return HeaderDecoding::Complete;
}

}  // namespace

HeaderDecoding DecodeBerHeader(std::span<const std::uint8_t> bytes, BerHeader& header) {
    if (bytes.size() < 2) {
        return HeaderDecoding::TooShort;
    }
    if (const HeaderDecoding identifier = DecodeIdentifier(bytes, header);
        identifier != HeaderDecoding::Complete) {
        return identifier;
    }
    header.indefinite = false;
    header.length = 0;
    const std::size_t at = header.identifierLength;
    const std::uint8_t first = bytes[at];
    if (first < 0x80) {
        header.headerLength = static_cast<std::uint32_t>(at + 1);
        header.length = first;
    } else if (first == 0x80) {
        if (!header.constructed()) {
            return HeaderDecoding::Malformed;
        }
        header.headerLength = static_cast<std::uint32_t>(at + 1);
        header.indefinite = true;
    } else {
        const std::size_t count = first & 0x7F;
        if (count > kLongestLength) {
            return HeaderDecoding::Malformed;
        }
        if (bytes.size() < at + 1 + count) {
            return HeaderDecoding::TooShort;
        }
        // Leading zero octets are allowed; a value that does not fit is larger than any input.
        for (std::size_t i = 0; i < count; ++i) {
            if (header.length > (UINT64_MAX >> 8)) {
                header.length = UINT64_MAX;
                break;
            }
            header.length = (header.length << 8) | bytes[at + 1 + i];
        }
        header.headerLength = static_cast<std::uint32_t>(at + 1 + count);
    }
    return HeaderDecoding::Complete;
}

}  // namespace mirebolt::platform
