#include "asn1/name_as_der.h"

#include <algorithm>

#include "asn1/asn1_tags.h"
#include "asn1/ber_cursor.h"
#include "asn1/der_writer.h"
#include "asn1/malformed.h"

namespace mirebolt::platform {

namespace {

// Names nest four levels and their values rarely more; this is far above any real one.
constexpr int kMaxNameDepth = 32;

// The universal types whose constructed form is their octets in chunks: OCTET STRING (4),
// UTF8String (12), the character strings from NumericString to GeneralString (18 to 27, the
// times 23 and 24 among them), UniversalString (28) and BMPString (30).
constexpr std::uint32_t kStringTypes[] = {4, 12, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 30};

bool IsStringType(const BerHeader& header) {
    return (header.tag & 0xC0) == 0 &&
           std::ranges::find(kStringTypes, header.number) != std::ranges::end(kStringTypes);
}

// The identifier octets as they came (a high tag number keeps its octets) and a definite
// length in its shortest form.
der::Bytes Header(const BerElement& element, bool constructed, std::size_t length) {
    der::Bytes header(element.whole.begin(),
                      element.whole.begin() + element.header.identifierLength);
    header[0] = static_cast<std::uint8_t>(constructed ? (header[0] | 0x20) : (header[0] & ~0x20));
    const der::Bytes lengthOctets = der::Header(0, length);
    header.insert(header.end(), lengthOctets.begin() + 1, lengthOctets.end());
    return header;
}

Result<der::Bytes> AsDer(const BerElement& element, int depth) {
    if (!element.header.constructed()) {
        der::Bytes out = Header(element, false, element.content.size());
        der::Append(out, element.content);
        return out;
    }
    if (IsStringType(element.header)) {
        ASSIGN_OR_RETURN(const std::vector<std::uint8_t> joined,
                         JoinedChunks(element.content, element.content.size()));
        der::Bytes out = Header(element, false, joined.size());
        der::Append(out, joined);
        return out;
    }
    if (depth == kMaxNameDepth) {
        return Malformed();
    }
    std::vector<der::Bytes> children;
    for (BerCursor cursor = BerCursor::Children(element); !cursor.empty();) {
        ASSIGN_OR_RETURN(const BerElement child, cursor.Next());
        ASSIGN_OR_RETURN(der::Bytes encoded, AsDer(child, depth + 1));
        children.push_back(std::move(encoded));
    }
    // DER puts a SET OF in the order of its members' encodings, a shorter one first where it
    // is the start of a longer.
    if (element.tag() == tag::kSet) {
        std::sort(children.begin(), children.end());
    }
    std::size_t length = 0;
    for (const der::Bytes& child : children) {
        length += child.size();
    }
    der::Bytes out = Header(element, true, length);
    for (const der::Bytes& child : children) {
        der::Append(out, child);
    }
    return out;
}

}  // namespace

Result<std::vector<std::uint8_t>> NameAsDer(std::span<const std::uint8_t> name) {
    BerCursor cursor(name);
    ASSIGN_OR_RETURN(const BerElement element, cursor.Next(tag::kSequence));
    RETURN_IF_FAILED(cursor.Finish());
    if (!element.header.constructed()) {
        return Malformed();
    }
    return AsDer(element, 0);
}

}  // namespace mirebolt::platform
