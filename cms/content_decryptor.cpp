#include "cms/content_decryptor.h"

#include <pk11pub.h>
#include <secerr.h>
#include <string.h>

#include <algorithm>
#include <array>

#include "cms/gcm_cipher.h"
#include "cms/open_failures.h"
#include "nss/error_text.h"
#include "nss/nss_types.h"

namespace mirebolt::platform {

namespace {

// Cipher text is decrypted in pieces of this size, as it is encrypted.
constexpr std::size_t kPieceBytes = 1 << 20;

// NSS's block ciphers take whole blocks in each call: content arriving in odd-sized pieces is
// run through here, whole blocks straight from the piece, the rest carried to the next.
class BlockFeeder {
  public:
    explicit BlockFeeder(std::size_t blockBytes) : blockBytes_(blockBytes) {}
    ~BlockFeeder() { explicit_bzero(carry_.data(), carry_.size()); }

    template <class Run>
    Status Feed(std::span<const std::uint8_t> bytes, Run&& run) {
        std::size_t used = 0;
        if (carried_ > 0) {
            const std::size_t take = std::min(bytes.size(), blockBytes_ - carried_);
            memcpy(carry_.data() + carried_, bytes.data(), take);
            carried_ += take;
            used = take;
            if (carried_ < blockBytes_) {
                return {};
            }
            carried_ = 0;
            RETURN_IF_FAILED(run(std::span<const std::uint8_t>(carry_.data(), blockBytes_)));
        }
        while (bytes.size() - used >= blockBytes_) {
            const std::size_t whole = (bytes.size() - used) / blockBytes_ * blockBytes_;
            const std::size_t piece = std::min(whole, kPieceBytes);
            RETURN_IF_FAILED(run(bytes.subspan(used, piece)));
            used += piece;
        }
        carried_ = bytes.size() - used;
        memcpy(carry_.data(), bytes.data() + used, carried_);
        return {};
    }

    std::span<const std::uint8_t> carried() const { return {carry_.data(), carried_}; }

  private:
    std::size_t blockBytes_;
    std::array<std::uint8_t, 16> carry_{};
    std::size_t carried_ = 0;
};

Status RunCipher(PK11Context* context, std::span<const std::uint8_t> in, PlainTextTarget& target) {
    ASSIGN_OR_RETURN(std::span<std::uint8_t> room, target.Room(in.size()));
    int produced = 0;
    if (PK11_CipherOp(context, room.data(), &produced, static_cast<int>(room.size()), in.data(),
                      static_cast<int>(in.size())) != SECSuccess) {
        return NssFailure();
    }
    return target.Commit(static_cast<std::size_t>(produced));
}

class CbcDecryptor final : public ContentDecryptor {
  public:
    CbcDecryptor(UniqueCipherContext context, std::size_t blockBytes, PlainTextTarget& target)
        : context_(std::move(context)),
          blockBytes_(blockBytes),
          feeder_(blockBytes),
          target_(target) {}

    Status Take(std::span<const std::uint8_t> cipherText) override {
        taken_ += cipherText.size();
        // The padded mode holds back the last block until the end: output runs one block
        // behind the input and never exceeds it.
        return feeder_.Feed(cipherText, [this](std::span<const std::uint8_t> blocks) {
            return RunCipher(context_.get(), blocks, target_);
        });
    }

    Status Finish(std::span<const std::uint8_t> /*tag*/,
                  std::span<const std::uint8_t> /*authenticatedAttributes*/) override {
        if (taken_ == 0) {
            return NoEncryptedContent();
        }
        if (!feeder_.carried().empty()) {
            return BadPadding();
        }
        ASSIGN_OR_RETURN(std::span<std::uint8_t> room, target_.Room(blockBytes_));
        unsigned produced = 0;
        if (PK11_DigestFinal(context_.get(), room.data(), &produced,
                             static_cast<unsigned>(room.size())) != SECSuccess) {
            return BadPadding();
        }
        return target_.Commit(produced);
    }

  private:
    UniqueCipherContext context_;
    std::size_t blockBytes_;
    BlockFeeder feeder_;
    PlainTextTarget& target_;
    std::uint64_t taken_ = 0;
};

class GcmDecryptor final : public ContentDecryptor {
  public:
    GcmDecryptor(std::unique_ptr<GcmCipher> cipher, PlainTextTarget& target)
        : cipher_(std::move(cipher)), target_(target) {}

    Status Take(std::span<const std::uint8_t> cipherText) override {
        return feeder_.Feed(
            cipherText, [this](std::span<const std::uint8_t> blocks) { return Decrypt(blocks); });
    }

    Status Finish(std::span<const std::uint8_t> tag,
                  std::span<const std::uint8_t> authenticatedAttributes) override {
        if (!feeder_.carried().empty()) {
            RETURN_IF_FAILED(Decrypt(feeder_.carried()));
        }
        GcmCipher::Block expected = cipher_->Tag(authenticatedAttributes);
        const bool matches = tag.size() >= 4 && tag.size() <= expected.size() &&
                             NSS_SecureMemcmp(expected.data(), tag.data(), tag.size()) == 0;
        explicit_bzero(expected.data(), expected.size());
        return matches ? Status() : Status(TamperedMessage());
    }

  private:
    Status Decrypt(std::span<const std::uint8_t> cipherText) {
        ASSIGN_OR_RETURN(std::span<std::uint8_t> room, target_.Room(cipherText.size()));
        if (room.size() < cipherText.size()) {
            return NssFailure(SEC_ERROR_OUTPUT_LEN);
        }
        RETURN_IF_FAILED(cipher_->Decrypt(cipherText, room.first(cipherText.size())));
        return target_.Commit(cipherText.size());
    }

    std::unique_ptr<GcmCipher> cipher_;
    BlockFeeder feeder_{16};
    PlainTextTarget& target_;
};

}  // namespace

Result<std::unique_ptr<ContentDecryptor>> ContentDecryptor::Start(
    const ContentAlgorithmFacts& cipher, PK11SymKey* key, std::span<const std::uint8_t> parameter,
    PlainTextTarget& target) {
    if (cipher.mode == ContentMode::Gcm) {
        ASSIGN_OR_RETURN(std::unique_ptr<GcmCipher> gcm, GcmCipher::Start(key, parameter));
        return std::unique_ptr<ContentDecryptor>(new GcmDecryptor(std::move(gcm), target));
    }
    if (parameter.size() != cipher.blockBytes) {
        return NssFailure(SEC_ERROR_BAD_DER);
    }
    const CK_MECHANISM_TYPE padded = PaddedMechanism(cipher);
    SECItem iv{siBuffer, const_cast<unsigned char*>(parameter.data()),
               static_cast<unsigned>(parameter.size())};
    UniqueCipherContext context(PK11_CreateContextBySymKey(padded, CKA_DECRYPT, key, &iv));
    if (!context) {
        return NssFailure();
    }
    return std::unique_ptr<ContentDecryptor>(
        new CbcDecryptor(std::move(context), cipher.blockBytes, target));
}

}  // namespace mirebolt::platform
