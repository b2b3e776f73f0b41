// Feeds arbitrary bytes to the message reader: the description `info` prints, then opening
// with stores that hold Alice's and Erin's keys, so that recipient matching, key transport and
// key agreement, and the content's decryption are reached as well as parsing.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "asn1/ber_stream.h"
#include "cms/envelope_description.h"
#include "cms/open_envelope.h"
#include "fuzzing_stores.h"
#include "nss/personal_store.h"

namespace {

using mirebolt::Result;
using namespace mirebolt::platform;
using namespace mirebolt::fuzzing;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    OpenStoreCopies({"alice", "erin"});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemorySource message({data, size});
    Result<EnvelopeDescription> description = DescribeEnvelope(message, Stores().front());
    if (description && description->encryptedBytes > size) {
        std::fprintf(stderr, "described %llu bytes of content in a message of %zu bytes\n",
                     static_cast<unsigned long long>(description->encryptedBytes), size);
        std::abort();
    }
    // The content lies within the message, encoded or not.
    ContentCounter counted;
    SourceStream stream(message);
    Result<std::uint64_t> length =
        OpenEnvelope(stream, &message, Stores().front(), nullptr, counted);
    if (length && (*length != counted.bytes || *length > size)) {
        std::fprintf(stderr, "content of %llu bytes (%llu given) in a message of %zu bytes\n",
                     static_cast<unsigned long long>(*length),
                     static_cast<unsigned long long>(counted.bytes), size);
        std::abort();
    }
    return 0;
}
