// Feeds arbitrary bytes to the reader's stream entry, as standard input or a pipe gives them: in
// odd-sized pieces and without random access. Alice's and Erin's keys are both at hand, so that
// key transport and key agreement reach the content. Whatever the stream entry opens, the file
// entry must open alike, and the other way round.
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "asn1/ber_stream.h"
#include "cms/open_envelope.h"
#include "fuzzing_stores.h"
#include "nss/personal_store.h"

namespace {

using mirebolt::Result;
using namespace mirebolt::platform;
using namespace mirebolt::fuzzing;

// Gives its bytes in pieces of odd sizes, where the turn to start with depends on the input.
class PieceStream final : public ByteStream {
  public:
    explicit PieceStream(std::span<const std::uint8_t> bytes)
        : bytes_(bytes), turn_(bytes.size()) {}

    Result<std::size_t> Read(std::span<std::uint8_t> out) override {
        static constexpr std::size_t kSizes[] = {1, 7, 2, 13, 3, 509, 5, 61, 4093};
        const std::size_t wanted =
            std::min({out.size(), kSizes[turn_++ % std::size(kSizes)], bytes_.size() - at_});
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), wanted, out.begin());
        at_ += wanted;
        return wanted;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
    std::size_t turn_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    OpenStoreCopies({"alice", "erin"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // NSS finds a key in every open store: the first store only keeps them open for the call.
    const PersonalStore& stores = Stores().front();
    PieceStream pipe({data, size});
    ContentCounter streamed;
    Result<std::uint64_t> fromPipe = OpenEnvelope(pipe, nullptr, stores, nullptr, streamed);
    if (fromPipe && (*fromPipe != streamed.bytes || *fromPipe > size)) {
        std::fprintf(stderr, "content of %llu bytes (%llu given) in a message of %zu bytes\n",
                     static_cast<unsigned long long>(*fromPipe),
                     static_cast<unsigned long long>(streamed.bytes), size);
        std::abort();
    }
    MemorySource message({data, size});
    SourceStream file(message);
    ContentCounter read;
    Result<std::uint64_t> fromFile = OpenEnvelope(file, &message, stores, nullptr, read);
    // A file may open what a pipe cannot: there an entry whose key unwraps but does not decrypt
    // the content is passed over for the next, since the content can be read again.
    if ((fromPipe && !fromFile) || (fromPipe && *fromPipe != *fromFile)) {
        std::fprintf(stderr, "from a pipe: %s; from a file: %s\n",
                     fromPipe ? "opened" : fromPipe.failure().text.c_str(),
                     fromFile ? "opened" : fromFile.failure().text.c_str());
        std::abort();
    }
    return 0;
}
