// Feeds arbitrary bytes to the message reader: the description `info` prints, the size query,
// then opening with a store that holds a key, so that recipient matching and key unwrapping are
// reached as well as parsing.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/envelope_description.h"
#include "platform/open_envelope.h"
#include "platform/personal_store.h"

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
    std::filesystem::remove_all(StoreFolder(), ignored);
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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemorySource message({data, size});
    Result<EnvelopeDescription> description = DescribeEnvelope(message, *Store());
    if (description && description->encryptedBytes > size) {
        std::fprintf(stderr, "described %llu bytes of content in a message of %zu bytes\n",
                     static_cast<unsigned long long>(description->encryptedBytes), size);
        std::abort();
    }
    Result<std::uint64_t> bound = OpenedSizeBound(message);
    if (!bound) {
        return 0;
    }
    // The content lies within the message, encoded or not: a larger size would make Decrypt
    // allocate for content that cannot be there.
    if (*bound > size) {
        std::fprintf(stderr, "size %llu for a message of %zu bytes\n",
                     static_cast<unsigned long long>(*bound), size);
        std::abort();
    }
    std::vector<std::uint8_t> out(static_cast<std::size_t>(*bound));
    Result<std::uint64_t> length = OpenEnvelope(message, *Store(), nullptr, out);
    if (length && *length > *bound) {
        std::fprintf(stderr, "content of %llu bytes beyond its bound %llu\n",
                     static_cast<unsigned long long>(*length),
                     static_cast<unsigned long long>(*bound));
        std::abort();
    }
    return 0;
}
