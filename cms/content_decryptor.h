#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "base/result.h"
#include "nss/cms_algorithms.h"

struct PK11SymKeyStr;

namespace mirebolt::platform {

// Where decrypted content goes, piece by piece: straight into the caller's buffer, or through a
// wiped buffer of ours to a sink.
class PlainTextTarget {
  public:
    virtual ~PlainTextTarget() = default;

    // Room for `count` bytes (at most ContentDecryptor::kLargestPiece), or less where the target
    // ends: the cipher then fails when the content would not fit.
    virtual Result<std::span<std::uint8_t>> Room(std::size_t count) = 0;
    // The first `count` bytes of the room last given now hold content.
    virtual Status Commit(std::size_t count) = 0;
};

// Decrypts content that arrives in pieces of any size (chunked OCTET STRINGs give them so):
// CBC with its padding checked at the end, or GCM with the tag checked at the end. Until Finish
// succeeds, what went to the target is not content.
class ContentDecryptor {
  public:
    static constexpr std::size_t kLargestPiece = (1 << 20) + 32;

    // `parameter` is the IV (CBC) or the nonce (GCM).
    static Result<std::unique_ptr<ContentDecryptor>> Start(const ContentAlgorithmFacts& cipher,
                                                           PK11SymKeyStr* key,
                                                           std::span<const std::uint8_t> parameter,
                                                           PlainTextTarget& target);
    virtual ~ContentDecryptor() = default;

    virtual Status Take(std::span<const std::uint8_t> cipherText) = 0;
    // `tag` is GCM's, and `authenticatedAttributes` the DER of the attributes it covers, as a
    // SET OF (empty when the message has none); both empty for CBC.
    virtual Status Finish(std::span<const std::uint8_t> tag,
                          std::span<const std::uint8_t> authenticatedAttributes) = 0;
};

}  // namespace mirebolt::platform
