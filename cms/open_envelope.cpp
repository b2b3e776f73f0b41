#include "cms/open_envelope.h"

#include <secerr.h>
#include <string.h>

#include <algorithm>

#include "asn1/ber_stream.h"
#include "base/private_buffer.h"
#include "cms/message_reader.h"
#include "cms/open_failures.h"
#include "cms/recipient_keys.h"
#include "nss/error_text.h"
#include "nss/nss_runtime.h"

namespace mirebolt::platform {

namespace {

// Plaintext through one private buffer of ours, wiped after each piece, to a sink.
class SinkTarget final : public PlainTextTarget {
  public:
    explicit SinkTarget(ByteSink& sink) : sink_(sink) {}

    Result<std::span<std::uint8_t>> Room(std::size_t count) override {
        if (buffer_.bytes().empty()) {
            ASSIGN_OR_RETURN(PrivateBuffer allocated, PrivateBuffer::Allocate(kBytes));
            buffer_ = std::move(allocated);
        }
        return buffer_.bytes().first(std::min(count, kBytes));
    }
    Status Commit(std::size_t count) override {
        if (count == 0) {
            return {};
        }
        Status written = sink_.Write(buffer_.bytes().first(count));
        explicit_bzero(buffer_.bytes().data(), count);
        length_ += count;
        return written;
    }
    std::uint64_t length() const { return length_; }

  private:
    static constexpr std::size_t kBytes = ContentDecryptor::kLargestPiece;

    ByteSink& sink_;
    PrivateBuffer buffer_;
    std::uint64_t length_ = 0;
};

// Finds our entry, recovers the content key and starts decrypting into the target.
class KeyOpener final : public ContentOpener {
  public:
    KeyOpener(KeyAccessPrompt* prompt, PlainTextTarget& target)
        : prompt_(prompt), target_(target) {}

    Result<std::unique_ptr<ContentDecryptor>> Begin(const MessageOutline& outline) override {
        Result<UniqueSymKey> key = RecoverContentKey(outline.recipients, *outline.cipher, prompt_);
        if (prompt_ != nullptr) {
            prompt_->Forget();
        }
        if (!key) {
            return key.failure();
        }
        key_ = std::move(*key);
        return ContentDecryptor::Start(*outline.cipher, key_.get(), outline.cipherParameter,
                                       target_);
    }

  private:
    KeyAccessPrompt* prompt_;
    PlainTextTarget& target_;
    UniqueSymKey key_;
};

}  // namespace

// The keys are found through NSS, which sees the store's token for as long as the store is
// open; taking the store makes the caller keep it open for the call.
Result<std::uint64_t> OpenEnvelope(ByteStream& message, ByteSource* randomAccess,
                                   const PersonalStore& /*store*/, KeyAccessPrompt* prompt,
                                   ByteSink& content) {
    if (!NssRuntime::EnsureStarted()) {
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    SinkTarget target(content);
    KeyOpener opener(prompt, target);
    Result<MessageOutline> outline = ReadMessage(message, randomAccess, &opener);
    if (!outline) {
        return ArisingFrom(FailureOrigin::Message, outline.failure());
    }
    return target.length();
}

}  // namespace mirebolt::platform
