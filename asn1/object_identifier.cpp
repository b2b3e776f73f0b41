#include "asn1/object_identifier.h"

#include <algorithm>
#include <optional>

#include "asn1/der_writer.h"

namespace mirebolt::platform {

bool OidMatches(std::span<const std::uint8_t> content, std::string_view dotted) {
    const std::optional<der::Bytes> expected = der::ObjectIdentifierContent(dotted);
    return expected &&
           std::equal(content.begin(), content.end(), expected->begin(), expected->end());
}

std::string DottedOid(std::span<const std::uint8_t> oidContent) {
    std::string text;
    std::uint64_t value = 0;
    bool first = true;
    for (std::uint8_t byte : oidContent) {
        if (value > (UINT64_MAX >> 7)) {
            return "(invalid identifier)";
        }
        value = (value << 7) | (byte & 0x7F);
        if ((byte & 0x80) != 0) {
            continue;
        }
        if (first) {
            const std::uint64_t arc0 = value < 80 ? value / 40 : 2;
            text = std::to_string(arc0) + "." + std::to_string(value - arc0 * 40);
            first = false;
        } else {
            text += "." + std::to_string(value);
        }
        value = 0;
    }
    return text.empty() ? "(invalid identifier)" : text;
}

}  // namespace mirebolt::platform
