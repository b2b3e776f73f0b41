#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "asn1/asn1_tags.h"
#include "asn1/ber_header.h"
#include "base/result.h"

namespace mirebolt::platform {

// One element held in memory.
struct BerElement {
    BerHeader header;  // its offset counts from the start of the bytes the walk began with
    // For an indefinite length: the children, without the end-of-contents octets.
    std::span<const std::uint8_t> content;
    std::span<const std::uint8_t> whole;  // header, content and end-of-contents octets

    std::uint8_t tag() const { return header.tag; }
};

// The octets of an OCTET STRING: a view of the bytes when it was primitive, the chunks joined
// when BER gave it constructed.
class Octets {
  public:
    Octets() = default;
    explicit Octets(std::span<const std::uint8_t> view) : view_(view) {}
    explicit Octets(std::vector<std::uint8_t> joined)
        : joined_(std::move(joined)), chunked_(true) {}

    std::span<const std::uint8_t> bytes() const { return chunked_ ? joined_ : view_; }
    std::size_t size() const { return bytes().size(); }
    bool empty() const { return bytes().empty(); }
    std::vector<std::uint8_t> Copy() const { return {bytes().begin(), bytes().end()}; }

  private:
    std::span<const std::uint8_t> view_;
    std::vector<std::uint8_t> joined_;
    bool chunked_ = false;
};

// Reads BER or DER held in memory front to back, element by element, handing out views of the
// bytes rather than copies. Anything malformed, including an element that reaches past its
// parent, is kMalformedCode. The message's one-pass shell is BerStream's; this reads the small
// parts it hands over whole (a recipient entry, algorithm parameters) and certificate files.
class BerCursor {
  public:
    BerCursor() = default;
    explicit BerCursor(std::span<const std::uint8_t> bytes, std::uint64_t offset = 0)
        : rest_(bytes), offset_(offset) {}

    // The children of a constructed element.
    static BerCursor Children(const BerElement& element) {
        return BerCursor(element.content, element.header.contentOffset());
    }

    bool empty() const { return rest_.empty(); }
    bool NextIs(std::uint8_t tag) const { return !rest_.empty() && rest_[0] == tag; }

    // The next element, which must be there (and carry `tag`).
    Result<BerElement> Next();
    Result<BerElement> Next(std::uint8_t tag);
    // The next element when it carries `tag`, else nothing and nothing read.
    Result<std::optional<BerElement>> NextIf(std::uint8_t tag);
    // The children of the next element, which must be constructed and carry `tag`.
    Result<BerCursor> Enter(std::uint8_t tag);

    // What counts as small: object identifiers, IVs and key identifiers stay far below it.
    static constexpr std::size_t kSmallContentBytes = 1024;

    // The content of the next element, which must be primitive, carry `tag` and be at most
    // `largest` bytes.
    Result<std::span<const std::uint8_t>> Primitive(std::uint8_t tag,
                                                    std::size_t largest = kSmallContentBytes);

    // The octets of the next element, an OCTET STRING (or a type implicitly tagged `tag` in its
    // place) of at most `largest` bytes, primitive or constructed.
    Result<Octets> OctetString(std::size_t largest = kSmallContentBytes,
                               std::uint8_t tag = tag::kOctetString);

    // Fails unless every element was read.
    Status Finish() const;

  private:
    std::span<const std::uint8_t> rest_;
    std::uint64_t offset_ = 0;
};

// The content of a primitive element of at most `largest` bytes.
Result<std::span<const std::uint8_t>> PrimitiveContent(
    const BerElement& element, std::size_t largest = BerCursor::kSmallContentBytes);

// The octets of an OCTET STRING element (or one implicitly tagged in its place) of at most
// `largest` bytes: its content when primitive, its chunks joined when constructed. Chunks are
// OCTET STRINGs, which may be constructed in turn.
Result<Octets> OctetStringContent(const BerElement& element,
                                  std::size_t largest = BerCursor::kSmallContentBytes);
// The same for the content of a constructed OCTET STRING: its chunks.
Result<std::vector<std::uint8_t>> JoinedChunks(std::span<const std::uint8_t> chunks,
                                               std::size_t largest);

// The length of the children of an indefinite element whose content starts `content`, up to
// the end-of-contents octets that close it, which must be there.
Result<std::size_t> IndefiniteContentLength(std::span<const std::uint8_t> content);

}  // namespace mirebolt::platform
