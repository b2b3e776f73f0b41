#include "platform/open_envelope.h"

#include <cms.h>
#include <secerr.h>
#include <string.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "platform/ber_reader.h"
#include "platform/cms_algorithms.h"
#include "platform/der_writer.h"
#include "platform/error_text.h"
#include "platform/key_access_nss.h"
#include "platform/nss_runtime.h"
#include "platform/nss_types.h"

namespace mirebolt::platform {

namespace {

constexpr std::size_t kPieceBytes = 1 << 20;

struct MessageRelease {
    void operator()(NSSCMSMessage* message) const { NSS_CMSMessage_Destroy(message); }
};
using UniqueMessage = std::unique_ptr<NSSCMSMessage, MessageRelease>;

Failure Malformed() {
    return NssFailure(SEC_ERROR_BAD_DER);
}

// Sums the lengths of the primitive pieces of a possibly constructed OCTET STRING.
Result<std::uint64_t> OctetStringBytes(BerReader& reader, const BerElement& element,
                                       std::uint64_t limit, int depth) {
    if (!element.constructed()) {
        return element.contentLength;
    }
    if (depth > 8) {
        return Malformed();
    }
    std::uint64_t total = 0;
    BerChildren children = reader.ChildrenOf(element, limit);
    for (;;) {
        Result<std::optional<BerElement>> child = reader.NextChild(children);
        if (!child) {
            return child.failure();
        }
        if (!child->has_value()) {
            return total;
        }
        Result<std::uint64_t> part = OctetStringBytes(reader, **child, children.end, depth + 1);
        if (!part) {
            return part.failure();
        }
        total += *part;
    }
}

// Walks ContentInfo { envelopedData, [0] EnvelopedData { version, [0] originatorInfo OPTIONAL,
// recipientInfos, EncryptedContentInfo { type, algorithm, [0] encryptedContent } } }.
Result<std::uint64_t> EncryptedContentBytes(ByteSource& message) {
    BerReader reader(message);
    const std::uint64_t size = message.Size();
    Result<BerElement> outer = reader.ElementAt(0, size);
    if (!outer) {
        return outer.failure();
    }
    if (outer->tag != der::tag::kSequence) {
        return Malformed();
    }
    Result<std::uint64_t> end = reader.EndOf(*outer, size);
    if (!end) {
        return end.failure();
    }
    if (*end != size) {
        return NssFailure(SEC_ERROR_EXTRA_INPUT);
    }

    BerChildren contentInfo = reader.ChildrenOf(*outer, size);
    Result<BerElement> type = reader.ExpectChild(contentInfo, der::tag::kObjectIdentifier);
    if (!type) {
        return type.failure();
    }
    Result<bool> enveloped = reader.IsObjectIdentifier(*type, oid::kEnvelopedData);
    if (!enveloped) {
        return enveloped.failure();
    }
    if (!*enveloped) {
        return NssFailure(SEC_ERROR_UNSUPPORTED_MESSAGE_TYPE);
    }
    Result<BerElement> wrapper = reader.ExpectChild(contentInfo, der::tag::kContextConstructed0);
    if (!wrapper) {
        return wrapper.failure();
    }
    BerChildren inWrapper = reader.ChildrenOf(*wrapper, size);
    Result<BerElement> envelopedData = reader.ExpectChild(inWrapper, der::tag::kSequence);
    if (!envelopedData) {
        return envelopedData.failure();
    }
    BerChildren fields = reader.ChildrenOf(*envelopedData, size);
    Result<BerElement> version = reader.ExpectChild(fields, der::tag::kInteger);
    if (!version) {
        return version.failure();
    }
    Result<std::optional<BerElement>> next = reader.NextChild(fields);
    if (next && next->has_value() && (*next)->tag == der::tag::kContextConstructed0) {
        next = reader.NextChild(fields);  // originator information
    }
    if (!next) {
        return next.failure();
    }
    if (!next->has_value() || (*next)->tag != der::tag::kSet) {
        return Malformed();
    }
    Result<BerElement> encryptedContentInfo = reader.ExpectChild(fields, der::tag::kSequence);
    if (!encryptedContentInfo) {
        return encryptedContentInfo.failure();
    }
    BerChildren inInfo = reader.ChildrenOf(*encryptedContentInfo, size);
    Result<BerElement> contentType = reader.ExpectChild(inInfo, der::tag::kObjectIdentifier);
    if (!contentType) {
        return contentType.failure();
    }
    Result<BerElement> algorithm = reader.ExpectChild(inInfo, der::tag::kSequence);
    if (!algorithm) {
        return algorithm.failure();
    }
    Result<std::optional<BerElement>> content = reader.NextChild(inInfo);
    if (!content) {
        return content.failure();
    }
    if (!content->has_value()) {
        return std::uint64_t{0};  // detached content: nothing to decrypt
    }
    const std::uint8_t tag = (*content)->tag & ~0x20;
    if (tag != der::tag::kContextPrimitive0) {
        return Malformed();
    }
    return OctetStringBytes(reader, **content, inInfo.end, 0);
}

// Receives the decoder's plaintext into the caller's buffer and nowhere else.
struct ContentSink {
    std::span<std::uint8_t> out;
    std::uint64_t length = 0;
    bool overflow = false;

    static void Receive(void* sink, const char* bytes, unsigned long count) {
        auto* self = static_cast<ContentSink*>(sink);
        if (self->overflow || count > self->out.size() - self->length) {
            self->overflow = true;
            return;
        }
        std::memcpy(self->out.data() + self->length, bytes, count);
        self->length += count;
    }
};

Failure DecodingFailure(const KeyAccessSession& session) {
    if (session.cancelled()) {
        return NssFailure(SEC_ERROR_USER_CANCELLED);
    }
    if (session.exhausted()) {
        return NssFailure(SEC_ERROR_BAD_PASSWORD);
    }
    const int error = PORT_GetError();
    return NssFailure(error != 0 ? error : SEC_ERROR_BAD_DATA);
}

bool IsEnvelopedData(NSSCMSMessage* message) {
    if (NSS_CMSMessage_ContentLevelCount(message) != 2) {
        return false;
    }
    return NSS_CMSContentInfo_GetContentTypeTag(NSS_CMSMessage_ContentLevel(message, 0)) ==
               SEC_OID_PKCS7_ENVELOPED_DATA &&
           NSS_CMSContentInfo_GetContentTypeTag(NSS_CMSMessage_ContentLevel(message, 1)) ==
               SEC_OID_PKCS7_DATA;
}

Result<std::uint64_t> Decode(ByteSource& message, KeyAccessPrompt* prompt,
                             std::span<std::uint8_t> out) {
    UniqueArena arena(PORT_NewArena(2048));
    if (!arena) {
        return NssFailure();
    }
    KeyAccessSession session(prompt);
    ContentSink sink{out};
    NSSCMSDecoderContext* decoder = NSS_CMSDecoder_Start(
        arena.get(), &ContentSink::Receive, &sink, &AnswerKeyAccess, &session, nullptr, nullptr);
    if (decoder == nullptr) {
        return NssFailure();
    }
    std::vector<std::uint8_t> piece(
        static_cast<std::size_t>(std::min<std::uint64_t>(kPieceBytes, message.Size())));
    for (std::uint64_t done = 0; done < message.Size();) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), message.Size() - done));
        std::span<std::uint8_t> bytes = std::span(piece).first(count);
        if (Status read = message.ReadAt(done, bytes); !read) {
            NSS_CMSDecoder_Cancel(decoder);
            return read.failure();
        }
        if (NSS_CMSDecoder_Update(decoder, reinterpret_cast<const char*>(bytes.data()),
                                  static_cast<unsigned long>(count)) != SECSuccess) {
            Failure failure = DecodingFailure(session);
            NSS_CMSDecoder_Cancel(decoder);
            return failure;
        }
        done += count;
    }
    UniqueMessage decoded(NSS_CMSDecoder_Finish(decoder));
    if (!decoded) {
        return DecodingFailure(session);
    }
    if (!IsEnvelopedData(decoded.get())) {
        return NssFailure(SEC_ERROR_UNSUPPORTED_MESSAGE_TYPE);
    }
    if (sink.overflow) {
        return NssFailure(SEC_ERROR_OUTPUT_LEN);
    }
    if (Status unchanged = message.ConfirmUnchanged(); !unchanged) {
        return unchanged.failure();
    }
    return sink.length;
}

}  // namespace

Result<std::uint64_t> OpenedSizeBound(ByteSource& message) {
    if (!NssRuntime::EnsureStarted()) {
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    return EncryptedContentBytes(message);
}

Result<std::uint64_t> OpenEnvelope(ByteSource& message, const PersonalStore& /*store*/,
                                   KeyAccessPrompt* prompt, std::span<std::uint8_t> out) {
    // The keys are found through NSS, which sees the store's token for as long as the store
    // is open; taking the store makes the caller keep it open for the call.
    Result<std::uint64_t> bound = OpenedSizeBound(message);
    Result<std::uint64_t> length = bound ? Decode(message, prompt, out) : bound;
    if (!length) {
        explicit_bzero(out.data(), out.size());
    }
    return length;
}

}  // namespace mirebolt::platform
