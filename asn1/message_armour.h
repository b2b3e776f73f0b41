#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/byte_stream.h"
#include "base/result.h"

namespace mirebolt::platform {

enum class MessageForm { Binary, Pem, Smime };

// How a message file is written: DER or BER as it is, a PEM block ("PKCS7", "CMS" or gpgsm's
// "ENCRYPTED MESSAGE", after any text) or an S/MIME entity of enveloped data with a base64 body.
// Told from the file's first bytes, `head`; `bodyStart` is where the base64 begins.
struct ArmourKind {
    MessageForm form = MessageForm::Binary;
    std::size_t bodyStart = 0;
};
Result<ArmourKind> RecogniseArmour(std::span<const std::uint8_t> head);

// Decodes base64 as it is read, white space skipped, up to the end of the body: a PEM block's
// closing line, an S/MIME boundary, or the end of the input. Anything else is malformed.
class Base64Stream final : public ByteStream {
  public:
    explicit Base64Stream(ByteStream& text) : text_(text) {}
    Result<std::size_t> Read(std::span<std::uint8_t> out) override;

  private:
    Result<int> NextCharacter();

    ByteStream& text_;
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(64 * 1024);
    std::size_t position_ = 0;
    std::size_t filled_ = 0;
    bool ended_ = false;
    std::uint32_t bits_ = 0;
    int sextets_ = 0;
    bool padded_ = false;
    std::array<std::uint8_t, 3> pending_{};
    std::size_t pendingCount_ = 0;
    std::size_t pendingUsed_ = 0;
};

}  // namespace mirebolt::platform
