#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "nss/certificate.h"
#include "nss/personal_store.h"

namespace mirebolt::testing {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

std::string FixturePath(const std::string& name);

Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
// The names in a folder, to see that nothing was left or lost.
std::set<std::string> FolderEntries(const std::filesystem::path& folder);

// Bytes that differ from one call to the next.
Bytes RandomBytes(std::size_t count);

// The bytes a string of hex digits spells, as published test vectors give them.
Bytes FromHex(std::string_view hex);

// The first certificate of a fixture file.
platform::Certificate FixtureCertificate(const std::string& name);

// A fixture store's database, copied to a fresh folder.
class StoreFolder {
  public:
    explicit StoreFolder(const std::string& fixtureName);
    std::string directory() const { return (folder_.path() / "nssdb").string(); }

  private:
    TempDir folder_;
};

// A fixture store, copied to a fresh folder and opened there.
class StoreCopy {
  public:
    explicit StoreCopy(const std::string& fixtureName);
    // A store that did not open fails the test here, not by undefined behaviour later.
    platform::PersonalStore& store() { return store_.value(); }
    std::string directory() const { return folder_.directory(); }

  private:
    StoreFolder folder_;
    std::optional<platform::PersonalStore> store_;
};

}  // namespace mirebolt::testing
