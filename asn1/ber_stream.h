#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "asn1/ber_header.h"
#include "base/byte_source.h"
#include "base/byte_stream.h"
#include "base/result.h"

namespace mirebolt::platform {

// A random-access source read front to back as a stream; what is skipped is not read at all.
class SourceStream final : public ByteStream {
  public:
    explicit SourceStream(ByteSource& source) : source_(source) {}

    Result<std::size_t> Read(std::span<std::uint8_t> out) override;
    void Skip(std::uint64_t count) { position_ += count; }
    std::uint64_t Size() const { return source_.Size(); }

  private:
    ByteSource& source_;
    std::uint64_t position_ = 0;
};

// The content of a constructed element being walked: where it ends when its length is known,
// and the tightest known end of the elements around it.
struct BerFrame {
    bool indefinite = false;
    std::uint64_t end = 0;
    std::uint64_t limit = UINT64_MAX;
    bool closed = false;
};

// Walks a BER or DER message strictly front to back, so that it works on a pipe and in constant
// memory: elements are visited in order, their content read in pieces or skipped. Malformed
// structure is SEC_ERROR_BAD_DER; a stream that ends inside the message is told apart as
// truncation (same code, its own text).
class BerStream {
  public:
    // `sizeHint` is the whole input's size when known: lengths beyond it fail at once.
    BerStream(ByteStream& stream, SourceStream* skippable, std::optional<std::uint64_t> sizeHint);

    std::uint64_t position() const { return position_; }

    // The frame of the whole input, and of a constructed element's content.
    BerFrame TopFrame() const;
    Result<BerFrame> Enter(const BerHeader& element, const BerFrame& parent) const;

    // Whether the frame holds another child; reads the end-of-contents octets of an indefinite
    // frame when they come.
    Result<bool> HasMore(BerFrame& frame);
    // The next child's header, which must be there.
    Result<BerHeader> Next(BerFrame& frame);
    // The next child, which must be there and carry `tag`.
    Result<BerHeader> Expect(BerFrame& frame, std::uint8_t tag);
    // The next child when it carries `tag`, else nothing and nothing read.
    Result<std::optional<BerHeader>> NextIf(BerFrame& frame, std::uint8_t tag);
    // Fails unless the frame has no more children.
    Status Close(BerFrame& frame);

    // Passes over an element's content (its header already read).
    Status Skip(const BerHeader& element, const BerFrame& parent);
    // The content of a small definite primitive element.
    Result<std::vector<std::uint8_t>> ReadSmall(const BerHeader& element, std::size_t largest);
    // The content of an element of at most `largest` bytes, to be read in memory: a view of
    // the stream's buffer, valid until the stream is next used. An indefinite element's
    // content comes without the end-of-contents octets that close it.
    Result<std::span<const std::uint8_t>> HoldContent(const BerHeader& element,
                                                      const BerFrame& parent, std::size_t largest);

    // Hands the content of a definite primitive element to `take` in pieces, or skips it
    // when `take` is null.
    template <class Take>
    Status StreamContent(const BerHeader& element, Take* take);

    // Passes over a run of empty primitive elements carrying `tag` in the frame: crafted
    // messages may hold millions, and each costs only a look at two bytes here.
    Status SkipEmpty(BerFrame& frame, std::uint8_t tag);

    // True when the input has nothing more.
    Result<bool> AtEnd();
    // The next `count` bytes (at most a mebibyte), left unread: fewer only where the input ends.
    Result<std::span<const std::uint8_t>> Peek(std::size_t count);

    Failure Truncated() const;

  private:
    // Content passes through in pieces of up to a mebibyte, which keeps the cipher's calls few
    // and the memory small; a pipe's walk starts with a small buffer, which grows as needed.
    static constexpr std::size_t kBufferBytes = 1 << 20;
    static constexpr std::size_t kFirstBufferBytes = 16 * 1024;

    // At least `count` bytes buffered (count ≤ kBufferBytes), fewer only at the input's end.
    Result<std::size_t> Fill(std::size_t count);
    void Consume(std::size_t count);
    Status SkipBytes(std::uint64_t count);
    // Buffers the next piece of content, at most `left` bytes and at least one: its length. A
    // stream that ends first is truncated.
    Result<std::size_t> NextPiece(std::uint64_t left);
    Status SkipIndefinite(const BerHeader& element, const BerFrame& parent);

    ByteStream& stream_;
    SourceStream* skippable_;
    std::optional<std::uint64_t> sizeHint_;
    std::vector<std::uint8_t> buffer_;
    std::size_t begin_ = 0;  // unread bytes are buffer_[begin_, end_)
    std::size_t end_ = 0;
    bool streamEnded_ = false;
    std::uint64_t position_ = 0;
};

template <class Take>
Status BerStream::StreamContent(const BerHeader& element, Take* take) {
    if (take == nullptr) {
        return SkipBytes(element.length);
    }
    std::uint64_t left = element.length;
    while (left > 0) {
        Result<std::size_t> piece = NextPiece(left);
        if (!piece) {
            return piece.failure();
        }
        RETURN_IF_FAILED((*take)(std::span<const std::uint8_t>(buffer_.data() + begin_, *piece)));
        Consume(*piece);
        left -= *piece;
    }
    return {};
}

}  // namespace mirebolt::platform
