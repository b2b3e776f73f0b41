// Feeds arbitrary bytes to the recognition of PEM and S/MIME armour and to the base64 decoding
// of the body, which must give the same bytes however the text and the reads are cut, and the
// same as the decoder of certificate files wherever both accept the body.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "asn1/base64.h"
#include "asn1/message_armour.h"
#include "base/replay_stream.h"
#include "support/trickle_stream.h"

namespace {

using mirebolt::Result;
using namespace mirebolt::platform;
using Bytes = std::vector<std::uint8_t>;

// Everything the decoder gives, read `readBytes` at a time.
Result<Bytes> DecodeAll(ByteStream& text, std::size_t readBytes) {
    Base64Stream decoded(text);
    Bytes out;
    Bytes piece(readBytes);
    for (;;) {
        Result<std::size_t> got = decoded.Read(piece);
        if (!got) {
            return got.failure();
        }
        if (*got == 0) {
            return out;
        }
        if (*got > piece.size()) {
            std::abort();
        }
        out.insert(out.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(*got));
    }
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    Result<ArmourKind> kind = RecogniseArmour(input);
    if (!kind) {
        return 0;
    }
    if (kind->bodyStart > size || (kind->form == MessageForm::Binary && kind->bodyStart != 0)) {
        Fail("the body starts outside the input");
    }
    if (kind->form == MessageForm::Binary) {
        return 0;
    }

    // In one piece, and as a pipe gives it: the head read ahead and put back, then odd pieces.
    static constexpr std::size_t kWhole[] = {SIZE_MAX};
    mirebolt::testing::TrickleStream whole(input.subspan(kind->bodyStart), kWhole);
    Result<Bytes> once = DecodeAll(whole, 64 * 1024);

    static constexpr std::size_t kOdd[] = {1, 7, 2, 13, 3, 509, 5, 61};
    const std::size_t split = std::max(kind->bodyStart, size / 2);
    mirebolt::testing::TrickleStream rest(input.subspan(split), kOdd);
    ReplayStream replay(Bytes(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(split)),
                        kind->bodyStart, rest);
    Result<Bytes> trickled = DecodeAll(replay, 1 + size % 5);
    if (static_cast<bool>(once) != static_cast<bool>(trickled) || (once && *once != *trickled)) {
        Fail("the decoding depends on how the text was read");
    }
    if (once && once->size() > (size - kind->bodyStart) / 4 * 3 + 2) {
        Fail("more bytes than the base64 holds");
    }

    // The body ends at the first '-' (a closing line or a boundary) or with the input.
    const std::string_view text(reinterpret_cast<const char*>(data) + kind->bodyStart,
                                size - kind->bodyStart);
    const std::string_view body = text.substr(0, text.find('-'));
    const std::optional<Bytes> reference = DecodeBase64(body);
    if (once && reference && *once != *reference) {
        Fail("the two base64 decoders disagree");
    }
    const std::size_t symbols =
        static_cast<std::size_t>(std::count_if(body.begin(), body.end(), [](char c) {
            return c != ' ' && c != '\t' && c != '\r' && c != '\n';
        }));
    if (reference && symbols % 4 == 0 && !once) {
        Fail("padded base64 that certificate files accept is refused in a message");
    }
    return 0;
}
