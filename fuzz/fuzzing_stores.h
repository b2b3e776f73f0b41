#pragma once

// What the targets that open messages share: copies of the fixtures' stores, opened once, and
// a sink that only counts.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "base/byte_stream.h"
#include "base/result.h"
#include "nss/personal_store.h"

namespace mirebolt::fuzzing {

inline std::vector<platform::PersonalStore>& Stores() {
    static std::vector<platform::PersonalStore> stores;
    return stores;
}

inline std::filesystem::path& StoreFolder() {
    static std::filesystem::path folder;
    return folder;
}

inline void RemoveStoreFolder() {
    Stores().clear();
    std::error_code ignored;
    std::filesystem::remove_all(StoreFolder(), ignored);
}

// Opens copies of the holders' stores once: NSS can be started only once in a process, and
// opening a database for every input would measure NSS rather than the reader. NSS finds a key
// in every open store.
inline void OpenStoreCopies(std::initializer_list<const char*> holders) {
    char folder[] = "/tmp/mirebolt-fuzz-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    StoreFolder() = folder;
    // The stores are made before the handler is registered, so that they outlive it.
    Stores().reserve(holders.size());
    std::atexit(RemoveStoreFolder);
    for (const char* holder : holders) {
        const std::filesystem::path copy = StoreFolder() / holder;
        std::filesystem::copy(
            std::filesystem::path(MIREBOLT_FIXTURES) / ("store-" + std::string(holder)), copy,
            std::filesystem::copy_options::recursive);
        Result<platform::PersonalStore> opened = platform::PersonalStore::Open(copy.string());
        if (!opened || !opened->hasDatabase()) {
            std::fprintf(stderr, "cannot open %s's store for fuzzing\n", holder);
            std::abort();
        }
        Stores().push_back(std::move(*opened));
    }
}

// Counts the content it is given.
struct ContentCounter final : platform::ByteSink {
    Status Write(std::span<const std::uint8_t> piece) override {
        bytes += piece.size();
        return {};
    }
    std::uint64_t bytes = 0;
};

}  // namespace mirebolt::fuzzing
