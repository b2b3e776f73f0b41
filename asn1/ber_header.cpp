#include "asn1/ber_header.h"

namespace mirebolt::platform {

HeaderDecoding DecodeBerHeader(std::span<const std::uint8_t> bytes, BerHeader& header) {
    if (bytes.size() < 2) {
        return HeaderDecoding::TooShort;
    }
    if ((bytes[0] & 0x1F) == 0x1F) {
        return HeaderDecoding::Malformed;
    }
    header.tag = bytes[0];
    header.indefinite = false;
    header.length = 0;
    const std::uint8_t first = bytes[1];
    if (first < 0x80) {
        header.headerLength = 2;
        header.length = first;
    } else if (first == 0x80) {
        if (!header.constructed()) {
            return HeaderDecoding::Malformed;
        }
        header.headerLength = 2;
        header.indefinite = true;
    } else {
        const std::size_t count = first & 0x7F;
        if (count > 8) {
            return HeaderDecoding::Malformed;
        }
        if (bytes.size() < 2 + count) {
            return HeaderDecoding::TooShort;
        }
        for (std::size_t i = 0; i < count; ++i) {
            header.length = (header.length << 8) | bytes[2 + i];
        }
        header.headerLength = static_cast<std::uint32_t>(2 + count);
    }
    return HeaderDecoding::Complete;
}

}  // namespace mirebolt::platform
