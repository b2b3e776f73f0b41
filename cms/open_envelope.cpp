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

// Takes plaintext and forgets it: for a pass that only tells whether a key decrypts the content.
class DiscardingSink final : public ByteSink {
  public:
    Status Write(std::span<const std::uint8_t>) override { return {}; }
};

// Notes in `contentFailed` whether the content's own check (padding, tag) failed, told apart
// from every other failure of the reading.
class NotingDecryptor final : public ContentDecryptor {
  public:
    NotingDecryptor(std::unique_ptr<ContentDecryptor> inner, bool& contentFailed)
        : inner_(std::move(inner)), contentFailed_(contentFailed) {}

    Status Take(std::span<const std::uint8_t> cipherText) override {
        return inner_->Take(cipherText);
    }
    Status Finish(std::span<const std::uint8_t> tag,
                  std::span<const std::uint8_t> authenticatedAttributes) override {
        Status finished = inner_->Finish(tag, authenticatedAttributes);
        contentFailed_ = !finished;
        return finished;
    }

  private:
    std::unique_ptr<ContentDecryptor> inner_;
    bool& contentFailed_;
};

// Decrypts with one given key into nothing, entries passed over.
class TrialOpener final : public ContentOpener {
  public:
    explicit TrialOpener(PK11SymKey* key) : key_(key) {}

    void Consider(RecipientEntry) override {}
    Result<std::unique_ptr<ContentDecryptor>> Begin(const MessageOutline& outline) override {
        ASSIGN_OR_RETURN(
            std::unique_ptr<ContentDecryptor> inner,
            ContentDecryptor::Start(*outline.cipher, key_, outline.cipherParameter, target_));
        return std::unique_ptr<ContentDecryptor>(
            std::make_unique<NotingDecryptor>(std::move(inner), contentFailed_));
    }
    bool contentFailed() const { return contentFailed_; }

  private:
    PK11SymKey* key_;
    DiscardingSink discarded_;
    SinkTarget target_{discarded_};
    bool contentFailed_ = false;
};

// Whether `key` decrypts the content of the message in `source`, read once more from its start.
Result<std::optional<Failure>> DecryptsContent(ByteSource& source, PK11SymKey* key) {
    SourceStream again(source);
    TrialOpener trial(key);
    Result<MessageOutline> read = ReadMessage(again, &source, &trial);
    if (read) {
        return std::optional<Failure>();
    }
    if (trial.contentFailed()) {
        return std::optional<Failure>(read.failure());
    }
    return read.failure();
}

// Gathers our entries as they are read, recovers the content key and starts decrypting into
// the target.
class KeyOpener final : public ContentOpener {
  public:
    KeyOpener(KeyAccessPrompt* prompt, ByteSource* randomAccess, PlainTextTarget& target)
        : prompt_(prompt), randomAccess_(randomAccess), target_(target) {}

    void Consider(RecipientEntry entry) override { search_.Consider(std::move(entry)); }

    Result<std::unique_ptr<ContentDecryptor>> Begin(const MessageOutline& outline) override {
        ContentKeySearch::ContentCheck decrypts = [this](PK11SymKey* key) {
            return DecryptsContent(*randomAccess_, key);
        };
        Result<UniqueSymKey> key = search_.Recover(*outline.cipher, prompt_,
                                                   randomAccess_ != nullptr ? &decrypts : nullptr);
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
    ByteSource* randomAccess_;
    PlainTextTarget& target_;
    ContentKeySearch search_;
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
    KeyOpener opener(prompt, randomAccess, target);
    Result<MessageOutline> outline = ReadMessage(message, randomAccess, &opener);
    if (!outline) {
        return ArisingFrom(FailureOrigin::Message, outline.failure());
    }
    return target.length();
}

}  // namespace mirebolt::platform
