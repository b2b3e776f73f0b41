#include "asn1/ber_reader.h"

#include <algorithm>

#include "asn1/asn1_tags.h"
#include "asn1/ber_header.h"
#include "asn1/malformed.h"
#include "asn1/object_identifier.h"

namespace mirebolt::platform {

Result<std::size_t> BerReader::Peek(std::uint64_t offset, std::span<std::uint8_t> out) {
    const std::uint64_t size = source_.Size();
    if (offset >= size) {
        return std::size_t{0};
    }
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size - offset));
    const bool inWindow =
        offset >= windowOffset_ && offset + wanted <= windowOffset_ + window_.size();
    if (!inWindow) {
        window_.resize(
            static_cast<std::size_t>(std::min<std::uint64_t>(kWindowSize, size - offset)));
        if (Status read = source_.ReadAt(offset, window_); !read) {
            window_.clear();
            return read.failure();
        }
        windowOffset_ = offset;
    }
    std::copy_n(window_.begin() + static_cast<std::ptrdiff_t>(offset - windowOffset_), wanted,
                out.begin());
    return wanted;
}

Result<BerElement> BerReader::ElementAt(std::uint64_t offset, std::uint64_t limit) {
    std::array<std::uint8_t, kLongestBerHeader> header{};
    const std::uint64_t available = limit > offset ? limit - offset : 0;
    const auto peekLength =
        static_cast<std::size_t>(std::min<std::uint64_t>(header.size(), available));
    Result<std::size_t> got = Peek(offset, std::span(header).first(peekLength));
    if (!got) {
        return got.failure();
    }
    const DecodedHeader decoded = DecodeBerHeader(std::span(header).first(*got));
    if (decoded.outcome != DecodedHeader::Outcome::Complete) {
        return Malformed();
    }
    BerElement element;
    element.tag = decoded.tag;
    element.offset = offset;
    element.headerLength = decoded.headerLength;
    element.indefinite = decoded.indefinite;
    element.contentLength = decoded.length;
    if (!element.indefinite && element.contentLength > available - element.headerLength) {
        return Malformed();
    }
    return element;
}

BerChildren BerReader::ChildrenOf(const BerElement& element, std::uint64_t limit) const {
    BerChildren children;
    children.position = element.contentOffset();
    children.indefinite = element.indefinite;
    children.end = element.indefinite ? limit : element.contentOffset() + element.contentLength;
    return children;
}

Result<std::optional<BerElement>> BerReader::NextChild(BerChildren& children) {
    return NextChild(children, 0);
}

Result<std::optional<BerElement>> BerReader::NextChild(BerChildren& children, int depth) {
    if (!children.indefinite && children.position == children.end) {
        return std::optional<BerElement>();
    }
    if (children.indefinite) {
        std::array<std::uint8_t, 2> marker{};
        Result<std::size_t> got = Peek(children.position, marker);
        if (!got) {
            return got.failure();
        }
        if (*got == 2 && marker[0] == 0 && marker[1] == 0) {
            children.end = children.position + 2;
            children.indefinite = false;
            children.position = children.end;
            return std::optional<BerElement>();
        }
    }
    Result<BerElement> child = ElementAt(children.position, children.end);
    if (!child) {
        return child.failure();
    }
    Result<std::uint64_t> end = EndOf(*child, children.end, depth + 1);
    if (!end) {
        return end.failure();
    }
    children.position = *end;
    return std::optional<BerElement>(*child);
}

Result<std::uint64_t> BerReader::EndOf(const BerElement& element, std::uint64_t limit) {
    return EndOf(element, limit, 0);
}

Result<std::uint64_t> BerReader::EndOf(const BerElement& element, std::uint64_t limit, int depth) {
    if (!element.indefinite) {
        return element.contentOffset() + element.contentLength;
    }
    if (depth > kMaxDepth) {
        return Malformed();
    }
    BerChildren children = ChildrenOf(element, limit);
    for (;;) {
        Result<std::optional<BerElement>> child = NextChild(children, depth);
        if (!child) {
            return child.failure();
        }
        if (!child->has_value()) {
            return children.end;
        }
    }
}

Result<BerElement> BerReader::ExpectChild(BerChildren& children, std::uint8_t tag) {
    Result<std::optional<BerElement>> child = NextChild(children);
    if (!child) {
        return child.failure();
    }
    if (!child->has_value() || (*child)->tag != tag) {
        return Malformed();
    }
    return **child;
}

Result<std::vector<std::uint8_t>> BerReader::ExpectSmallChild(BerChildren& children,
                                                              std::uint8_t tag,
                                                              std::size_t largest) {
    Result<BerElement> child = ExpectChild(children, tag);
    if (!child) {
        return child.failure();
    }
    return SmallContent(*child, largest);
}

Result<bool> BerReader::IsObjectIdentifier(const BerElement& element, std::string_view dotted) {
    if (element.tag != tag::kObjectIdentifier) {
        return Malformed();
    }
    Result<std::vector<std::uint8_t>> content = SmallContent(element);
    if (!content) {
        return content.failure();
    }
    return OidMatches(*content, dotted);
}

Result<std::vector<std::uint8_t>> BerReader::SmallContent(const BerElement& element,
                                                          std::size_t largest) {
    if (element.indefinite || element.constructed() || element.contentLength > largest) {
        return Malformed();
    }
    std::vector<std::uint8_t> content(static_cast<std::size_t>(element.contentLength));
    Result<std::size_t> got = Peek(element.contentOffset(), content);
    if (!got) {
        return got.failure();
    }
    if (*got != content.size()) {
        return Malformed();
    }
    return content;
}

}  // namespace mirebolt::platform
