#include "platform/open_envelope.h"

#include <secerr.h>
#include <string.h>
#include <sys/mman.h>

#include <algorithm>

#include "platform/ber_stream.h"
#include "platform/error_text.h"
#include "platform/message_reader.h"
#include "platform/nss_runtime.h"
#include "platform/open_failures.h"
#include "platform/recipient_keys.h"

namespace mirebolt::platform {

namespace {

void Wipe(std::span<std::uint8_t> bytes) {
    if (!bytes.empty()) {
        explicit_bzero(bytes.data(), bytes.size());
    }
}

// Plaintext straight into the caller's buffer.
class BufferTarget final : public PlainTextTarget {
  public:
    explicit BufferTarget(std::span<std::uint8_t> out) : out_(out) {}

    Result<std::span<std::uint8_t>> Room(std::size_t count) override {
        return out_.subspan(length_, std::min(count, out_.size() - length_));
    }
    Status Commit(std::size_t count) override {
        if (count > out_.size() - length_) {
            return ContentTooLarge();
        }
        length_ += count;
        return {};
    }
    std::uint64_t length() const { return length_; }

  private:
    std::span<std::uint8_t> out_;
    std::size_t length_ = 0;
};

// Plaintext through one page-granular buffer of ours, kept out of core dumps and wiped, to a
// sink.
class SinkTarget final : public PlainTextTarget {
  public:
    explicit SinkTarget(ByteSink& sink) : sink_(sink) {}
    ~SinkTarget() override {
        if (buffer_ != nullptr) {
            explicit_bzero(buffer_, kBytes);
            ::munmap(buffer_, kBytes);
        }
    }
    SinkTarget(const SinkTarget&) = delete;
    SinkTarget& operator=(const SinkTarget&) = delete;

    Result<std::span<std::uint8_t>> Room(std::size_t count) override {
        if (buffer_ == nullptr) {
            void* memory =
                ::mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (memory == MAP_FAILED) {
                return SystemFailure(errno);
            }
            ::madvise(memory, kBytes, MADV_DONTDUMP);
            buffer_ = static_cast<std::uint8_t*>(memory);
        }
        return std::span<std::uint8_t>(buffer_, std::min(count, kBytes));
    }
    Status Commit(std::size_t count) override {
        if (count == 0) {
            return {};
        }
        Status written = sink_.Write(std::span<const std::uint8_t>(buffer_, count));
        explicit_bzero(buffer_, count);
        length_ += count;
        return written;
    }
    std::uint64_t length() const { return length_; }

  private:
    static constexpr std::size_t kBytes = ContentDecryptor::kLargestPiece;

    ByteSink& sink_;
    std::uint8_t* buffer_ = nullptr;
    std::uint64_t length_ = 0;
};

// Finds our entry, recovers the content key and starts decrypting into the target.
class KeyOpener final : public ContentOpener {
  public:
    KeyOpener(KeyAccessPrompt* prompt, PlainTextTarget& target)
        : prompt_(prompt), target_(target) {}

    Result<std::unique_ptr<ContentDecryptor>> Begin(const MessageOutline& outline) override {
        Result<UniqueSymKey> key = RecoverContentKey(outline.recipients, *outline.cipher, prompt_);
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

Result<std::uint64_t> OpenedSizeBound(ByteSource& message) {
    Result<MessageOutline> outline = ReadOutline(message);
    if (!outline) {
        return ArisingFrom(FailureOrigin::Message, outline.failure());
    }
    return outline->encryptedBytes;
}

// The keys are found through NSS, which sees the store's token for as long as the store is
// open; taking the store makes the caller keep it open for the call.
Result<std::uint64_t> OpenEnvelope(ByteSource& message, const PersonalStore& /*store*/,
                                   KeyAccessPrompt* prompt, std::span<std::uint8_t> out) {
    if (!NssRuntime::EnsureStarted()) {
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    BufferTarget target(out);
    Result<std::uint64_t> length = [&]() -> Result<std::uint64_t> {
        KeyOpener opener(prompt, target);
        SourceStream input(message);
        Result<MessageOutline> outline = ReadMessage(input, &message, &opener);
        if (!outline) {
            return outline.failure();
        }
        if (Status unchanged = message.ConfirmUnchanged(); !unchanged) {
            return unchanged.failure();
        }
        return target.length();
    }();
    if (!length) {
        Wipe(out);
        return ArisingFrom(FailureOrigin::Message, length.failure());
    }
    return length;
}

Result<std::uint64_t> OpenEnvelopeStream(ByteStream& message, const PersonalStore& /*store*/,
                                         KeyAccessPrompt* prompt, ByteSink& content) {
    if (!NssRuntime::EnsureStarted()) {
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    SinkTarget target(content);
    KeyOpener opener(prompt, target);
    Result<MessageOutline> outline = ReadMessage(message, nullptr, &opener);
    if (!outline) {
        return ArisingFrom(FailureOrigin::Message, outline.failure());
    }
    return target.length();
}

}  // namespace mirebolt::platform
