// Feeds arbitrary bytes to the message reader: the description `info` prints, then opening
// with a store that holds a key, so that recipient matching and key unwrapping are reached as
// well as parsing.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "asn1/ber_stream.h"
#include "cms/envelope_description.h"
#include "cms/open_envelope.h"
#include "nss/personal_store.h"

namespace {

using mirebolt::Result;
using namespace mirebolt::platform;

std::optional<PersonalStore>& Store() {
    static std::optional<PersonalStore> store;
    return store;
}

std::filesystem::path& StoreFolder() {
    static std::filesystem::path folder;
    return folder;
}

void RemoveStoreFolder() {
    Store().reset();
    std::error_code ignored;
    std::filesystem::remove_all(StoreFolder().parent_path(), ignored);
}

}  // namespace

// Opens a copy of alice's store once: NSS can be started only once in a process, and opening a
// database for every input would measure NSS rather than the reader.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    char folder[] = "/tmp/mirebolt-fuzz-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    StoreFolder() = std::filesystem::path(folder) / "nssdb";
    std::filesystem::copy(MIREBOLT_FIXTURES "/store-alice", StoreFolder(),
                          std::filesystem::copy_options::recursive);
    Result<PersonalStore> opened = PersonalStore::Open(StoreFolder().string());
    if (!opened || !opened->hasDatabase()) {
        std::fprintf(stderr, "cannot open the fuzzing store\n");
        std::abort();
    }
    Store().emplace(std::move(*opened));
    std::atexit(RemoveStoreFolder);
    return 0;
}

// Counts the content it is given.
struct ContentCounter final : ByteSink {
    mirebolt::Status Write(std::span<const std::uint8_t> piece) override {
        bytes += piece.size();
        return {};
    }
    std::uint64_t bytes = 0;
};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemorySource message({data, size});
    Result<EnvelopeDescription> description = DescribeEnvelope(message, *Store());
    if (description && description->encryptedBytes > size) {
        std::fprintf(stderr, "described %llu bytes of content in a message of %zu bytes\n",
                     static_cast<unsigned long long>(description->encryptedBytes), size);
        std::abort();
    }
    // The content lies within the message, encoded or not.
    ContentCounter counted;
    SourceStream stream(message);
    Result<std::uint64_t> length = OpenEnvelope(stream, &message, *Store(), nullptr, counted);
    if (length && (*length != counted.bytes || *length > size)) {
        std::fprintf(stderr, "content of %llu bytes (%llu given) in a message of %zu bytes\n",
                     static_cast<unsigned long long>(*length),
                     static_cast<unsigned long long>(counted.bytes), size);
        std::abort();
    }
    return 0;
}
