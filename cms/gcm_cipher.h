#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "base/result.h"
#include "cms/gcm_hash.h"
#include "nss/nss_types.h"

namespace mirebolt::platform {

// AES-GCM over content given in pieces, in either direction. NSS 3.87 does GCM only in one call
// over the whole content, and its counter mode costs six times its block cipher, so the
// keystream is the block cipher run in bulk over counter blocks made here, and the cipher text
// is authenticated with our own GHASH.
class GcmCipher {
  public:
    using Block = GcmHash::Block;

    static Result<std::unique_ptr<GcmCipher>> Start(PK11SymKey* key,
                                                    std::span<const std::uint8_t> nonce);
    ~GcmCipher();
    GcmCipher(const GcmCipher&) = delete;
    GcmCipher& operator=(const GcmCipher&) = delete;

    // `in` to `out`, of the same size (they may be the same bytes). Every piece but the last is
    // a whole number of blocks.
    Status Encrypt(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);
    Status Decrypt(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);
    // The whole tag over the cipher text so far and the additional data, which in a message
    // comes after the content.
    Block Tag(std::span<const std::uint8_t> additionalData);

  private:
    static constexpr std::size_t kKeystreamBytes = 16 * 1024;

    GcmCipher(UniqueCipherContext blockCipher, const Block& hashKey, const Block& tagMask,
              const Block& firstCounter);
    Status Apply(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, bool decrypting);

    UniqueCipherContext blockCipher_;
    GcmHash hash_;
    Block tagMask_;
    Block counter_;  // the next counter block; GCM counts in its last four bytes only
    std::uint32_t count_;
    std::uint64_t textBytes_ = 0;
    std::array<std::uint8_t, kKeystreamBytes> keystream_{};
};

}  // namespace mirebolt::platform
