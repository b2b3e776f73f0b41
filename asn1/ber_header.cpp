#include "asn1/ber_header.h"

namespace mirebolt::platform {

DecodedHeader DecodeBerHeader(std::span<const std::uint8_t> bytes) {
    DecodedHeader header;
    if (bytes.size() < 2) {
        header.outcome = DecodedHeader::Outcome::TooShort;
        return header;
    }
    if ((bytes[0] & 0x1F) == 0x1F) {
        return header;
    }
    header.tag = bytes[0];
    const bool constructed = (header.tag & 0x20) != 0;
    const std::uint8_t first = bytes[1];
    if (first < 0x80) {
        header.headerLength = 2;
        header.length = first;
    } else if (first == 0x80) {
        if (!constructed) {
            return header;
        }
        header.headerLength = 2;
        header.indefinite = true;
    } else {
        const std::size_t count = first & 0x7F;
        if (count > 8) {
            return header;
        }
        if (bytes.size() < 2 + count) {
            header.outcome = DecodedHeader::Outcome::TooShort;
            return header;
        }
        for (std::size_t i = 0; i < count; ++i) {
            header.length = (header.length << 8) | bytes[2 + i];
        }
        header.headerLength = static_cast<std::uint32_t>(2 + count);
    }
    header.outcome = DecodedHeader::Outcome::Complete;
    return header;
}

}  // namespace mirebolt::platform
