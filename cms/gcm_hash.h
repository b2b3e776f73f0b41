#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace mirebolt::platform {

// GHASH, the authenticator of AES-GCM (NIST SP 800-38D), over data given in pieces of any size.
// NSS 3.87 decrypts GCM only in one call over the whole content; in pieces, content is
// decrypted as counter mode and authenticated here.
class GcmHash {
  public:
    using Block = std::array<std::uint8_t, 16>;

    explicit GcmHash(const Block& hashKey);
    ~GcmHash();
    GcmHash(const GcmHash&) = delete;
    GcmHash& operator=(const GcmHash&) = delete;

    void Update(std::span<const std::uint8_t> bytes);
    // Pads what is left to a block, then hashes the lengths block of `aadBytes` of additional
    // data (already given to Update, padded) and of everything given since.
    Block Finish(std::uint64_t aadBytes, std::uint64_t textBytes);

  private:
    void MultiplyInto(const std::uint8_t* block);

    std::array<std::uint64_t, 16> high_{};
    std::array<std::uint64_t, 16> low_{};
    std::uint64_t stateHigh_ = 0;
    std::uint64_t stateLow_ = 0;
    Block partial_{};
    std::size_t partialLength_ = 0;
};

}  // namespace mirebolt::platform
