#include "asn1/ber_stream.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "asn1/ber_cursor.h"
#include "asn1/ber_header.h"
#include "asn1/malformed.h"

namespace mirebolt::platform {

namespace {

// Indefinite lengths nest one level per constructed element: a message's shell goes six deep,
// attributes and names a few more. Skipping walks without recursion, so the bound only keeps
// the walk's own frames small.
constexpr int kMaxSkipDepth = 64;

}  // namespace

Result<std::size_t> SourceStream::Read(std::span<std::uint8_t> out) {
    const std::uint64_t size = source_.Size();
    if (position_ >= size) {
        return std::size_t{0};
    }
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size - position_));
    RETURN_IF_FAILED(source_.ReadAt(position_, out.first(count)));
    position_ += count;
    return count;
}

BerStream::BerStream(ByteStream& stream, SourceStream* skippable,
                     std::optional<std::uint64_t> sizeHint)
    : stream_(stream), skippable_(skippable), sizeHint_(sizeHint) {}

Failure BerStream::Truncated() const {
    return Malformed("The message ends before its last part does: the file is truncated.");
}

Result<std::size_t> BerStream::Fill(std::size_t count) {
    if (end_ - begin_ >= count || streamEnded_) {
        return end_ - begin_;
    }
    // The buffer starts small and grows while the input fills it: a walk is started twice for
    // every message, and zeroing a mebibyte each time costs more than reading a small one.
    std::size_t capacity = buffer_.size();
    if (capacity == 0) {
        capacity = sizeHint_ ? static_cast<std::size_t>(std::min<std::uint64_t>(
                                   std::max<std::uint64_t>(*sizeHint_, 1), kBufferBytes))
                             : kFirstBufferBytes;
    } else if (end_ == capacity) {
        capacity = std::min(capacity * 2, kBufferBytes);
    }
    capacity = std::max(capacity, count);
    if (capacity > buffer_.size()) {
        buffer_.resize(capacity);
    }
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    while (end_ < count && !streamEnded_) {
        ASSIGN_OR_RETURN(std::size_t got, stream_.Read(std::span(buffer_).subspan(end_)));
        if (got == 0) {
            streamEnded_ = true;
        }
        end_ += got;
    }
    return end_ - begin_;
}

void BerStream::Consume(std::size_t count) {
    begin_ += count;
    position_ += count;
}

Status BerStream::SkipBytes(std::uint64_t count) {
    const std::uint64_t buffered = std::min<std::uint64_t>(count, end_ - begin_);
    Consume(static_cast<std::size_t>(buffered));
    count -= buffered;
    if (count == 0) {
        return {};
    }
    // A source is not read where nothing is wanted from it: the buffer is empty by now, so the
    // source stands where the walk does.
    if (skippable_ != nullptr && !streamEnded_) {
        if (count > skippable_->Size() - position_) {
            return Truncated();
        }
        skippable_->Skip(count);
        position_ += count;
        return {};
    }
    while (count > 0) {
        ASSIGN_OR_RETURN(std::size_t piece, NextPiece(count));
        Consume(piece);
        count -= piece;
    }
    return {};
}

Result<std::size_t> BerStream::NextPiece(std::uint64_t left) {
    ASSIGN_OR_RETURN(std::size_t got,
                     Fill(static_cast<std::size_t>(std::min<std::uint64_t>(left, kBufferBytes))));
    if (got == 0) {
        return Truncated();
    }
    return static_cast<std::size_t>(std::min<std::uint64_t>(left, got));
}

BerFrame BerStream::TopFrame() const {
    BerFrame frame;
    frame.indefinite = true;  // the input's end closes it
    frame.limit = sizeHint_.value_or(UINT64_MAX);
    return frame;
}

Result<BerFrame> BerStream::Enter(const BerHeader& element, const BerFrame& parent) const {
    if (!element.constructed()) {
        return Malformed();
    }
    BerFrame frame;
    frame.indefinite = element.indefinite;
    if (element.indefinite) {
        frame.limit = parent.limit;
    } else {
        frame.end = element.contentOffset() + element.length;
        frame.limit = frame.end;
    }
    return frame;
}

Result<bool> BerStream::HasMore(BerFrame& frame) {
    if (frame.closed) {
        return false;
    }
    if (!frame.indefinite) {
        if (position_ > frame.end) {
            return Malformed();
        }
        if (position_ == frame.end) {
            frame.closed = true;
            return false;
        }
        return true;
    }
    ASSIGN_OR_RETURN(std::size_t got, Fill(2));
    if (got < 2) {
        return Truncated();
    }
    if (buffer_[begin_] == 0 && buffer_[begin_ + 1] == 0) {
        if (position_ + 2 > frame.limit) {
            return Malformed();
        }
        Consume(2);
        frame.closed = true;
        return false;
    }
    return true;
}

Result<BerHeader> BerStream::Next(BerFrame& frame) {
    ASSIGN_OR_RETURN(bool more, HasMore(frame));
    if (!more) {
        return Malformed();
    }
    ASSIGN_OR_RETURN(std::size_t got, Fill(kLongestBerHeader));
    BerHeader header;
    const HeaderDecoding decoded =
        DecodeBerHeader(std::span<const std::uint8_t>(buffer_.data() + begin_, got), header);
    if (decoded == HeaderDecoding::TooShort) {
        return Truncated();
    }
    if (decoded == HeaderDecoding::Malformed) {
        return Malformed();
    }
    header.offset = position_;
    const std::uint64_t contentStart = position_ + header.headerLength;
    if (contentStart > frame.limit) {
        return Malformed();
    }
    if (!header.indefinite) {
        if (header.length > frame.limit - contentStart) {
            // Past the input's end is truncation; past an enclosing element, damage.
            const bool pastInput =
                sizeHint_ && frame.limit == *sizeHint_ && header.length > *sizeHint_ - contentStart;
            return pastInput ? Truncated() : Malformed();
        }
    }
    Consume(header.headerLength);
    return header;
}

Result<BerHeader> BerStream::Expect(BerFrame& frame, std::uint8_t tag) {
    Result<BerHeader> header = Next(frame);
    if (!header) {
        return header;
    }
    if (header->tag != tag) {
        return Malformed();
    }
    return header;
}

Result<std::optional<BerHeader>> BerStream::NextIf(BerFrame& frame, std::uint8_t tag) {
    ASSIGN_OR_RETURN(bool more, HasMore(frame));
    if (!more) {
        return std::optional<BerHeader>();
    }
    ASSIGN_OR_RETURN(std::size_t got, Fill(1));
    if (got == 0 || buffer_[begin_] != tag) {
        return std::optional<BerHeader>();
    }
    ASSIGN_OR_RETURN(BerHeader header, Next(frame));
    return std::optional<BerHeader>(header);
}

Status BerStream::Close(BerFrame& frame) {
    ASSIGN_OR_RETURN(bool more, HasMore(frame));
    if (more) {
        return Malformed();
    }
    return {};
}

Status BerStream::Skip(const BerHeader& element, const BerFrame& parent) {
    if (!element.indefinite) {
        return SkipBytes(element.length);
    }
    return SkipIndefinite(element, parent);
}

// Walks nested indefinite elements without recursion, so that deep nesting costs no stack.
Status BerStream::SkipIndefinite(const BerHeader& element, const BerFrame& parent) {
    std::array<BerFrame, kMaxSkipDepth> frames;
    std::size_t depth = 0;
    ASSIGN_OR_RETURN(BerFrame first, Enter(element, parent));
    frames[depth++] = first;
    while (depth > 0) {
        BerFrame& frame = frames[depth - 1];
        ASSIGN_OR_RETURN(bool more, HasMore(frame));
        if (!more) {
            --depth;
            continue;
        }
        ASSIGN_OR_RETURN(BerHeader child, Next(frame));
        if (!child.indefinite) {
            RETURN_IF_FAILED(SkipBytes(child.length));
            continue;
        }
        if (depth == frames.size()) {
            return Malformed();
        }
        ASSIGN_OR_RETURN(BerFrame inner, Enter(child, frame));
        frames[depth++] = inner;
    }
    return {};
}

Result<std::vector<std::uint8_t>> BerStream::ReadSmall(const BerHeader& element,
                                                       std::size_t largest) {
    if (element.indefinite || element.constructed() || element.length > largest) {
        return Malformed();
    }
    const auto count = static_cast<std::size_t>(element.length);
    ASSIGN_OR_RETURN(std::size_t got, Fill(count));
    if (got < count) {
        return Truncated();
    }
    std::vector<std::uint8_t> content(
        buffer_.begin() + static_cast<std::ptrdiff_t>(begin_),
        buffer_.begin() + static_cast<std::ptrdiff_t>(begin_ + count));
    Consume(count);
    return content;
}

Result<std::span<const std::uint8_t>> BerStream::HoldContent(const BerHeader& element,
                                                             const BerFrame& parent,
                                                             std::size_t largest) {
    if (!element.indefinite) {
        if (element.length > largest) {
            return Malformed();
        }
        const auto count = static_cast<std::size_t>(element.length);
        ASSIGN_OR_RETURN(const std::size_t got, Fill(count));
        if (got < count) {
            return Truncated();
        }
        const std::span<const std::uint8_t> content(buffer_.data() + begin_, count);
        Consume(count);
        return content;
    }
    // The end of an indefinite element is found in memory, among at most `largest` bytes and
    // the two that close it.
    ASSIGN_OR_RETURN(const std::size_t got, Fill(largest + 2));
    const std::span<const std::uint8_t> buffered(buffer_.data() + begin_,
                                                 std::min(got, largest + 2));
    Result<std::size_t> length = IndefiniteContentLength(buffered);
    if (!length) {
        return streamEnded_ && got < largest + 2 ? Truncated() : length.failure();
    }
    if (position_ + *length + 2 > parent.limit) {
        return Malformed();
    }
    const std::span<const std::uint8_t> content = buffered.first(*length);
    Consume(*length + 2);
    return content;
}

Status BerStream::SkipEmpty(BerFrame& frame, std::uint8_t tag) {
    const std::uint64_t end = frame.indefinite ? frame.limit : frame.end;
    for (;;) {
        RETURN_IF_FAILED(Fill(2));
        const std::uint8_t* bytes = buffer_.data() + begin_;
        std::size_t run = 0;
        const std::size_t available = end_ - begin_;
        while (run + 2 <= available && bytes[run] == tag && bytes[run + 1] == 0 &&
               position_ + run + 2 <= end) {
            run += 2;
        }
        Consume(run);
        if (run + 2 <= available || streamEnded_ || run == 0) {
            return {};
        }
    }
}

Result<bool> BerStream::AtEnd() {
    ASSIGN_OR_RETURN(std::size_t got, Fill(1));
    return got == 0;
}

Result<std::span<const std::uint8_t>> BerStream::Peek(std::size_t count) {
    ASSIGN_OR_RETURN(const std::size_t got, Fill(std::min(count, kBufferBytes)));
    return std::span<const std::uint8_t>(buffer_.data() + begin_, std::min(got, count));
}

}  // namespace mirebolt::platform
