#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "asn1/asn1_tags.h"

namespace mirebolt::platform::der {

using Bytes = std::vector<std::uint8_t>;

// Identifier and length octets for content of the given length, in the shortest form.
Bytes Header(std::uint8_t tagOctet, std::uint64_t contentLength);

// A whole element: header and content.
Bytes Element(std::uint8_t tagOctet, std::span<const std::uint8_t> content);

// The content octets of an object identifier written in dotted form; nothing when the text is
// not one.
std::optional<Bytes> ObjectIdentifierContent(std::string_view dotted);

// An object identifier element of the program's own, written in dotted form (never read from
// input: an invalid text is a fault of the program).
Bytes ObjectIdentifier(std::string_view dotted);

// A SEQUENCE of the given parts, in order.
Bytes Sequence(std::initializer_list<Bytes> parts);

// A SET OF the given elements in DER's order: their encodings sorted as octet strings, each
// compared byte by byte and a prefix before what it begins. Any order of the parts gives the
// same bytes, which is what a strict reader checks.
Bytes SetOf(std::vector<Bytes> elements);

// Appends the given parts, in order, to `out`.
void Append(Bytes& out, std::span<const std::uint8_t> part);

}  // namespace mirebolt::platform::der
