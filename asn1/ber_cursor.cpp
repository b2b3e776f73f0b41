#include "asn1/ber_cursor.h"

#include "asn1/malformed.h"

namespace mirebolt::platform {

namespace {

// Entries, names and parameters nest a dozen levels deep at most; the bound keeps the stack a
// crafted element of nested indefinite lengths can take small.
constexpr int kMaxIndefiniteNesting = 32;
// Writers put an OCTET STRING's chunks one level deep (CER allows no more); a few more levels
// are valid BER, and the bound keeps the recursion small.
constexpr int kMaxChunkNesting = 8;

// The length of the children of an indefinite element whose content starts `bytes`: up to the
// end-of-contents octets that close it, which must be there.
Result<std::size_t> IndefiniteContentLengthAt(std::span<const std::uint8_t> bytes, int depth) {
    if (depth > kMaxIndefiniteNesting) {
        return Malformed();
    }
    std::size_t position = 0;
    for (;;) {
        const std::span<const std::uint8_t> rest = bytes.subspan(position);
        if (rest.size() >= 2 && rest[0] == 0 && rest[1] == 0) {
            return position;
        }
        BerHeader child;
        if (DecodeBerHeader(rest, child) != HeaderDecoding::Complete) {
            return Malformed();
        }
        std::size_t content = 0;
        if (child.indefinite) {
            ASSIGN_OR_RETURN(
                content, IndefiniteContentLengthAt(rest.subspan(child.headerLength), depth + 1));
            content += 2;
        } else if (child.length > rest.size() - child.headerLength) {
            return Malformed();
        } else {
            content = static_cast<std::size_t>(child.length);
        }
        position += child.headerLength + content;
    }
}

// Appends the octets of the chunks in `chunks` to `out`, which stays at most `largest` bytes.
Status AppendChunks(BerCursor chunks, std::size_t largest, int depth,
                    std::vector<std::uint8_t>& out) {
    if (depth > kMaxChunkNesting) {
        return Malformed();
    }
    while (!chunks.empty()) {
        ASSIGN_OR_RETURN(const BerElement chunk, chunks.Next());
        if (chunk.tag() == tag::kConstructedOctetString) {
            RETURN_IF_FAILED(AppendChunks(BerCursor::Children(chunk), largest, depth + 1, out));
            continue;
        }
        if (chunk.tag() != tag::kOctetString || chunk.content.size() > largest - out.size()) {
            return Malformed();
        }
        out.insert(out.end(), chunk.content.begin(), chunk.content.end());
    }
    return {};
}

}  // namespace

Result<std::vector<std::uint8_t>> JoinedChunks(std::span<const std::uint8_t> chunks,
                                               std::size_t largest) {
    std::vector<std::uint8_t> joined;
    RETURN_IF_FAILED(AppendChunks(BerCursor(chunks), largest, 0, joined));
    return joined;
}

Result<Octets> OctetStringContent(const BerElement& element, std::size_t largest) {
    if (!element.header.constructed()) {
        ASSIGN_OR_RETURN(const std::span<const std::uint8_t> content,
                         PrimitiveContent(element, largest));
        return Octets(content);
    }
    ASSIGN_OR_RETURN(std::vector<std::uint8_t> joined, JoinedChunks(element.content, largest));
    return Octets(std::move(joined));
}

Result<std::size_t> IndefiniteContentLength(std::span<const std::uint8_t> content) {
    return IndefiniteContentLengthAt(content, 0);
}

Result<BerElement> BerCursor::Next() {
    BerElement element;
    if (DecodeBerHeader(rest_, element.header) != HeaderDecoding::Complete) {
        return Malformed();
    }
    element.header.offset = offset_;
    const std::span<const std::uint8_t> after = rest_.subspan(element.header.headerLength);
    std::size_t wholeLength = element.header.headerLength;
    if (element.header.indefinite) {
        ASSIGN_OR_RETURN(const std::size_t length, IndefiniteContentLength(after));
        element.content = after.first(length);
        wholeLength += length + 2;
    } else {
        if (element.header.length > after.size()) {
            return Malformed();
        }
        element.content = after.first(static_cast<std::size_t>(element.header.length));
        wholeLength += element.content.size();
    }
    element.whole = rest_.first(wholeLength);
    rest_ = rest_.subspan(wholeLength);
    offset_ += wholeLength;
    return element;
}

Result<BerElement> BerCursor::Next(std::uint8_t tag) {
    if (!NextIs(tag)) {
        return Malformed();
    }
    return Next();
}

Result<std::optional<BerElement>> BerCursor::NextIf(std::uint8_t tag) {
    if (!NextIs(tag)) {
        return std::optional<BerElement>();
    }
    ASSIGN_OR_RETURN(BerElement element, Next());
    return std::optional<BerElement>(element);
}

Result<BerCursor> BerCursor::Enter(std::uint8_t tag) {
    ASSIGN_OR_RETURN(const BerElement element, Next(tag));
    if (!element.header.constructed()) {
        return Malformed();
    }
    return Children(element);
}

Result<std::span<const std::uint8_t>> BerCursor::Primitive(std::uint8_t tag, std::size_t largest) {
    ASSIGN_OR_RETURN(const BerElement element, Next(tag));
    return PrimitiveContent(element, largest);
}

Result<Octets> BerCursor::OctetString(std::size_t largest, std::uint8_t tag) {
    if (!NextIs(tag) && !NextIs(static_cast<std::uint8_t>(tag | 0x20))) {
        return Malformed();
    }
    ASSIGN_OR_RETURN(const BerElement element, Next());
    return OctetStringContent(element, largest);
}

Status BerCursor::Finish() const {
    if (!empty()) {
        return Malformed();
    }
    return {};
}

Result<std::span<const std::uint8_t>> PrimitiveContent(const BerElement& element,
                                                       std::size_t largest) {
    if (element.header.constructed() || element.content.size() > largest) {
        return Malformed();
    }
    return element.content;
}

}  // namespace mirebolt::platform
