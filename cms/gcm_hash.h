#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "cms/gcm_field.h"

namespace mirebolt::platform {

// GHASH, the authenticator of AES-GCM (NIST SP 800-38D), over text given in pieces of any size,
// with additional data that may come after the text: the hash is linear, so the additional
// data's share is added at the end, multiplied by the power of the hash key the text's length
// gives it. Its running time and memory accesses depend on lengths only, never on the bytes.
class GcmHash {
  public:
    using Block = std::array<std::uint8_t, 16>;
    // The carry-less multiplication where the processor has it, or integer arithmetic only;
    // a choice the processor cannot follow falls back to the portable code.
    enum class Multiplier { Fastest, Portable };

    explicit GcmHash(const Block& hashKey, Multiplier multiplier = Multiplier::Fastest);
    ~GcmHash();
    GcmHash(const GcmHash&) = delete;
    GcmHash& operator=(const GcmHash&) = delete;

    static bool CarryLessAvailable();
    bool carryLess() const { return carryLess_; }

    void Update(std::span<const std::uint8_t> bytes);
    // Pads the text to a block, adds the share of `additionalData` (hashed, in GCM's order,
    // before the text), and hashes the lengths block.
    Block Finish(std::span<const std::uint8_t> additionalData = {});

  private:
    gcm::FieldElement Multiply(gcm::FieldElement a, gcm::FieldElement b) const;
    gcm::FieldElement Power(std::uint64_t exponent) const;
    void Absorb(const std::uint8_t* blocks, std::size_t count);
    // Absorbs `bytes`, the last block padded with zeros.
    void AbsorbPadded(std::span<const std::uint8_t> bytes);

    bool carryLess_;
    gcm::FieldElement powers_[4];  // H, H^2, H^3, H^4
    gcm::FieldElement state_;
    Block partial_{};
    std::size_t partialLength_ = 0;
    std::uint64_t textBytes_ = 0;
};

}  // namespace mirebolt::platform
