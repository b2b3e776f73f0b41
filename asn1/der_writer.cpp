#include "asn1/der_writer.h"

#include <algorithm>
#include <charconv>

namespace mirebolt::platform::der {

Bytes Header(std::uint8_t tagOctet, std::uint64_t contentLength) {
    Bytes header{tagOctet};
    if (contentLength < 0x80) {
        header.push_back(static_cast<std::uint8_t>(contentLength));
        return header;
    }
    int count = 0;
    for (std::uint64_t rest = contentLength; rest != 0; rest >>= 8) {
        ++count;
    }
    header.push_back(static_cast<std::uint8_t>(0x80 | count));
    for (int i = count - 1; i >= 0; --i) {
        header.push_back(static_cast<std::uint8_t>(contentLength >> (8 * i)));
    }
    return header;
}

Bytes Element(std::uint8_t tagOctet, std::span<const std::uint8_t> content) {
    Bytes element = Header(tagOctet, content.size());
    Append(element, content);
    return element;
}

Bytes ObjectIdentifier(std::string_view dotted) {
    return Element(tag::kObjectIdentifier, ObjectIdentifierContent(dotted).value());
}

Bytes Sequence(std::initializer_list<Bytes> parts) {
    Bytes content;
    for (const Bytes& part : parts) {
        Append(content, part);
    }
    return Element(tag::kSequence, content);
}

Bytes SetOf(std::vector<Bytes> elements) {
    // The vectors' own ordering compares unsigned octets lexicographically.
    std::sort(elements.begin(), elements.end());
    Bytes content;
    for (const Bytes& element : elements) {
        Append(content, element);
    }
    return Element(tag::kSet, content);
}

void Append(Bytes& out, std::span<const std::uint8_t> part) {
    out.insert(out.end(), part.begin(), part.end());
}

namespace {

void AppendBase128(Bytes& out, std::uint64_t value) {
    std::uint8_t groups[10];
    int count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) {
        out.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
    }
    out.push_back(groups[0]);
}

}  // namespace

std::optional<Bytes> ObjectIdentifierContent(std::string_view dotted) {
    std::vector<std::uint64_t> arcs;
    const char* position = dotted.data();
    const char* const end = dotted.data() + dotted.size();
    while (position < end) {
        std::uint64_t arc = 0;
        auto [next, error] = std::from_chars(position, end, arc);
        if (error != std::errc() || next == position) {
            return std::nullopt;
        }
        arcs.push_back(arc);
        position = next;
        if (position < end) {
            if (*position != '.' || position + 1 == end) {
                return std::nullopt;
            }
            ++position;
        }
    }
    if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] > 39) ||
        arcs[1] > UINT64_MAX - 80) {
        return std::nullopt;
    }
    Bytes content;
    AppendBase128(content, arcs[0] * 40 + arcs[1]);
    for (std::size_t i = 2; i < arcs.size(); ++i) {
        AppendBase128(content, arcs[i]);
    }
    return content;
}

}  // namespace mirebolt::platform::der
