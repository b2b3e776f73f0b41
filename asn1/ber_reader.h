#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "base/byte_source.h"
#include "base/result.h"

namespace mirebolt::platform {

// One BER element's identifier and length, as found in a source.
struct BerElement {
    std::uint8_t tag = 0;  // the identifier octet: class, constructed bit and a number below 31
    std::uint64_t offset = 0;
    std::uint32_t headerLength = 0;
    bool indefinite = false;
    std::uint64_t contentLength = 0;  // for definite lengths only

    bool constructed() const { return (tag & 0x20) != 0; }
    std::uint64_t contentOffset() const { return offset + headerLength; }
};

// Where the next child of a constructed element starts, and where its content ends.
struct BerChildren {
    std::uint64_t position = 0;
    std::uint64_t end = 0;  // for an indefinite parent: the limit its content must stay within
    bool indefinite = false;
};

// Walks the structure of a BER or DER message through a source without reading its content, so
// that a message of any size is checked in a few small reads. Anything malformed, including
// an element that reaches past its parent or the source, is SEC_ERROR_BAD_DER.
class BerReader {
  public:
    explicit BerReader(ByteSource& source) : source_(source) {}

    // The element that starts at `offset` and must end by `limit`.
    Result<BerElement> ElementAt(std::uint64_t offset, std::uint64_t limit);
    // The offset just past the element, end-of-contents octets included.
    Result<std::uint64_t> EndOf(const BerElement& element, std::uint64_t limit);

    BerChildren ChildrenOf(const BerElement& element, std::uint64_t limit) const;
    // The next child, or nothing at the end of the parent's content.
    Result<std::optional<BerElement>> NextChild(BerChildren& children);

    // The next child, which must be there and carry `tag`; anything else is malformed.
    Result<BerElement> ExpectChild(BerChildren& children, std::uint8_t tag);

    // What counts as small: object identifiers, IVs and key identifiers stay far below it.
    static constexpr std::size_t kSmallContentBytes = 1024;

    // The content of a primitive element of at most `largest` bytes, such as an object
    // identifier.
    Result<std::vector<std::uint8_t>> SmallContent(const BerElement& element,
                                                   std::size_t largest = kSmallContentBytes);
    // The content of the next child, which must be there, carry `tag` and be at most
    // `largest` bytes.
    Result<std::vector<std::uint8_t>> ExpectSmallChild(BerChildren& children, std::uint8_t tag,
                                                       std::size_t largest = kSmallContentBytes);
    // Whether an OBJECT IDENTIFIER element names the identifier written in dotted form; an
    // element that is no object identifier is malformed.
    Result<bool> IsObjectIdentifier(const BerElement& element, std::string_view dotted);

  private:
    static constexpr std::size_t kWindowSize = 64 * 1024;
    static constexpr int kMaxDepth = 32;

    Result<std::uint64_t> EndOf(const BerElement& element, std::uint64_t limit, int depth);
    Result<std::optional<BerElement>> NextChild(BerChildren& children, int depth);
    // Up to `out.size()` bytes at `offset`, fewer only at the end of the source.
    Result<std::size_t> Peek(std::uint64_t offset, std::span<std::uint8_t> out);

    ByteSource& source_;
    std::vector<std::uint8_t> window_;
    std::uint64_t windowOffset_ = 0;
};

}  // namespace mirebolt::platform
