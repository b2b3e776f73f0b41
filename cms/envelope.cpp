#include "cms/envelope.h"

#include <pk11pub.h>
#include <secerr.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <vector>

#include "asn1/der_writer.h"
#include "base/private_buffer.h"
#include "cms/cipher_in_place.h"
#include "cms/gcm_cipher.h"
#include "cms/recipient_kind.h"
#include "cms/recipient_plan.h"
#include "nss/error_text.h"
#include "nss/nss_runtime.h"
#include "nss/nss_types.h"

namespace mirebolt::platform {

namespace {

// Content is read and encrypted in pieces of this size.
constexpr std::size_t kPieceBytes = 1 << 20;

constexpr std::uint8_t kIndefiniteLength = 0x80;
// End-of-contents octets closing, in BER, the encrypted content, EncryptedContentInfo,
// EnvelopedData, the explicit [0] and ContentInfo.
constexpr std::array<std::uint8_t, 10> kBerTrailer{};
// In authenticated enveloped data the mac comes between the second and the third of them.
constexpr std::size_t kBerContentClosing = 4;
// GCM's tag, written whole, and the nonce: the lengths RFC 5084 asks readers to take.
constexpr std::size_t kGcmTagBytes = 16;
constexpr std::uint8_t kGcmTagBytesInteger = kGcmTagBytes;

der::Bytes IndefiniteHeader(std::uint8_t tag) {
    return {tag, kIndefiniteLength};
}

// The parts of the message in front of the encrypted content whose bytes do not depend on how
// the lengths around them are written.
struct MessageFront {
    bool authenticated = false;       // authenticated enveloped data, with a mac after the content
    der::Bytes envelopedData;         // version and the recipient entries
    der::Bytes encryptedContentInfo;  // content type, and the cipher with its IV or nonce
};

bool Authenticated(const ContentAlgorithmFacts& facts) {
    return facts.mode == ContentMode::Gcm;
}

// The mac of authenticated enveloped data; as long as the real one.
der::Bytes Mac(std::span<const std::uint8_t> tag) {
    return der::Element(tag::kOctetString, tag);
}

std::uint64_t MacBytes(const MessageFront& front) {
    return front.authenticated ? Mac(std::array<std::uint8_t, kGcmTagBytes>{}).size() : 0;
}

MessageFront Front(const ContentAlgorithmFacts& facts, std::span<const std::uint8_t> iv,
                   const std::vector<EntryGroup>& groups, std::vector<der::Bytes> infos) {
    // RFC 5652's rule: version 2 as soon as an entry is not a version 0 key transport.
    // Authenticated enveloped data has only version 0.
    const bool keyAgreement = std::any_of(groups.begin(), groups.end(), [](const auto& group) {
        return group.recipients.front().delivery == KeyDelivery::KeyAgreement;
    });
    const bool authenticated = Authenticated(facts);
    MessageFront front;
    front.authenticated = authenticated;
    front.envelopedData =
        der::Element(tag::kInteger,
                     std::array{static_cast<std::uint8_t>(keyAgreement && !authenticated ? 2 : 0)});
    // In DER's order of the final entries, whatever the recipients' order: the same lengths for
    // placeholders and real entries, so the size stays exact.
    der::Append(front.envelopedData, der::SetOf(std::move(infos)));

    der::Bytes algorithm = der::ObjectIdentifier(facts.oid);
    if (authenticated) {
        // GCMParameters { aes-nonce, aes-ICVlen }: the tag length written although 12 is the
        // default, since ours is 16.
        der::Bytes parameters = der::Element(tag::kOctetString, iv);
        der::Append(parameters, der::Element(tag::kInteger, std::array{kGcmTagBytesInteger}));
        der::Append(algorithm, der::Element(tag::kSequence, parameters));
    } else {
        der::Append(algorithm, der::Element(tag::kOctetString, iv));
    }
    front.encryptedContentInfo = der::ObjectIdentifier(oid::kData);
    der::Append(front.encryptedContentInfo, der::Element(tag::kSequence, algorithm));
    return front;
}

// The front with zeros in place of the IV and the keys: as long as the real one.
MessageFront PlaceholderFront(const ContentAlgorithmFacts& facts,
                              const std::vector<EntryGroup>& groups) {
    std::vector<der::Bytes> infos;
    for (const EntryGroup& group : groups) {
        std::vector<der::Bytes> entries = PlaceholderRecipientInfos(group);
        std::move(entries.begin(), entries.end(), std::back_inserter(infos));
    }
    return Front(facts, der::Bytes(facts.ivBytes), groups, std::move(infos));
}

std::string_view MessageType(const MessageFront& front) {
    return front.authenticated ? oid::kAuthEnvelopedData : oid::kEnvelopedData;
}

// Everything in front of the encrypted content in DER, so that the message is this prefix, the
// cipher text, and the mac when there is one.
der::Bytes DerPrefix(const MessageFront& front, std::uint64_t cipherTextBytes) {
    der::Bytes encryptedContentInfo = front.encryptedContentInfo;
    der::Append(encryptedContentInfo, der::Header(tag::kContextPrimitive0, cipherTextBytes));
    const std::uint64_t encryptedContentInfoBytes = encryptedContentInfo.size() + cipherTextBytes;

    der::Bytes envelopedData = front.envelopedData;
    der::Append(envelopedData, der::Header(tag::kSequence, encryptedContentInfoBytes));
    der::Append(envelopedData, encryptedContentInfo);
    const std::uint64_t envelopedDataBytes =
        envelopedData.size() + cipherTextBytes + MacBytes(front);

    der::Bytes envelopedDataHeader = der::Header(tag::kSequence, envelopedDataBytes);
    const std::uint64_t explicitBytes = envelopedDataHeader.size() + envelopedDataBytes;
    der::Bytes contentInfo = der::ObjectIdentifier(MessageType(front));
    der::Append(contentInfo, der::Header(tag::kContextConstructed0, explicitBytes));
    der::Append(contentInfo, envelopedDataHeader);
    der::Append(contentInfo, envelopedData);
    const std::uint64_t contentInfoBytes = contentInfo.size() + cipherTextBytes + MacBytes(front);

    der::Bytes message = der::Header(tag::kSequence, contentInfoBytes);
    der::Append(message, contentInfo);
    return message;
}

// The same in BER with indefinite lengths, the encrypted content to follow as a constructed
// OCTET STRING of chunks and kBerTrailer after it (with the mac inside it).
der::Bytes BerPrefix(const MessageFront& front) {
    der::Bytes message = IndefiniteHeader(tag::kSequence);
    der::Append(message, der::ObjectIdentifier(MessageType(front)));
    der::Append(message, IndefiniteHeader(tag::kContextConstructed0));
    der::Append(message, IndefiniteHeader(tag::kSequence));
    der::Append(message, front.envelopedData);
    der::Append(message, IndefiniteHeader(tag::kSequence));
    der::Append(message, front.encryptedContentInfo);
    der::Append(message, IndefiniteHeader(tag::kContextConstructed0));
    return message;
}

// CBC pads to a whole block, always adding at least one byte; GCM's cipher text is as long as
// the content.
std::uint64_t CipherTextBytes(const ContentAlgorithmFacts& facts, std::uint64_t contentSize) {
    if (Authenticated(facts)) {
        return contentSize;
    }
    return (contentSize / facts.blockBytes + 1) * facts.blockBytes;
}

Result<const ContentAlgorithmFacts*> StartEnvelope(ContentAlgorithm cipher) {
    if (!NssRuntime::EnsureStarted()) {
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    return &FactsOf(cipher);
}

// What every writer starts from: the cipher's facts and the recipients planned in groups.
struct EnvelopePlan {
    const ContentAlgorithmFacts* facts = nullptr;
    std::vector<EntryGroup> recipients;
};

Result<EnvelopePlan> PlanEnvelope(ContentAlgorithm cipher,
                                  std::span<const Certificate* const> recipients) {
    ASSIGN_OR_RETURN(const ContentAlgorithmFacts* facts, StartEnvelope(cipher));
    ASSIGN_OR_RETURN(std::vector<EntryGroup> groups, PlanEntryGroups(recipients, *facts));
    return EnvelopePlan{facts, std::move(groups)};
}

// A fresh content key and IV, the key given to every recipient, and the cipher ready to run:
// NSS's CBC, or GCM of ours.
struct ContentEncryption {
    UniqueSymKey contentKey;
    UniqueCipherContext context;
    std::unique_ptr<GcmCipher> gcm;
    MessageFront front;
};

Result<ContentEncryption> StartContentEncryption(const ContentAlgorithmFacts& facts,
                                                 const std::vector<EntryGroup>& groups) {
    ContentEncryption encryption;
    UniqueSlot slot(PK11_GetBestSlot(facts.mechanism, nullptr));
    if (!slot) {
        return NssFailure();
    }
    encryption.contentKey.reset(PK11_KeyGen(slot.get(), facts.mechanism, nullptr,
                                            static_cast<int>(facts.keyBytes), nullptr));
    if (!encryption.contentKey) {
        return NssFailure();
    }
    std::array<std::uint8_t, 16> iv{};
    if (PK11_GenerateRandom(iv.data(), static_cast<int>(facts.ivBytes)) != SECSuccess) {
        return NssFailure();
    }
    std::vector<der::Bytes> infos;
    for (const EntryGroup& group : groups) {
        ASSIGN_OR_RETURN(std::vector<der::Bytes> entries,
                         RecipientInfos(group, encryption.contentKey.get()));
        std::move(entries.begin(), entries.end(), std::back_inserter(infos));
    }
    encryption.front = Front(facts, std::span(iv).first(facts.ivBytes), groups, std::move(infos));

    if (Authenticated(facts)) {
        ASSIGN_OR_RETURN(encryption.gcm, GcmCipher::Start(encryption.contentKey.get(),
                                                          std::span(iv).first(facts.ivBytes)));
        return encryption;
    }
    SECItem ivItem{siBuffer, iv.data(), static_cast<unsigned>(facts.ivBytes)};
    UniqueSecItem parameter(PK11_ParamFromIV(facts.mechanism, &ivItem));
    if (!parameter) {
        return NssFailure();
    }
    encryption.context.reset(PK11_CreateContextBySymKey(
        facts.mechanism, CKA_ENCRYPT, encryption.contentKey.get(), parameter.get()));
    if (!encryption.context) {
        return NssFailure();
    }
    return encryption;
}

// PKCS #7 padding after the last `used` bytes of `bytes`; gives the padded length.
std::size_t Pad(const ContentAlgorithmFacts& facts, std::span<std::uint8_t> bytes,
                std::size_t used) {
    const std::size_t padding = facts.blockBytes - used % facts.blockBytes;
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(used), padding,
                static_cast<std::uint8_t>(padding));
    return used + padding;
}

// Fills `out` from the stream; fewer bytes only at its end.
Result<std::size_t> Fill(ByteStream& content, std::span<std::uint8_t> out) {
    std::size_t filled = 0;
    while (filled < out.size()) {
        ASSIGN_OR_RETURN(std::size_t read, content.Read(out.subspan(filled)));
        if (read == 0) {
            break;
        }
        filled += read;
    }
    return filled;
}

// A file that grew or shrank while it was read: the input's failure, like any change of it.
Failure WrongContentLength(std::uint64_t declared) {
    return ArisingFrom(
        FailureOrigin::Input,
        NssFailure(SEC_ERROR_INPUT_LEN, "The content is not the " + std::to_string(declared) +
                                            " bytes long it was declared to be."));
}

// Encrypts a piece where it stands, the last one padded for CBC; gives its new length.
Result<std::size_t> EncryptPiece(const ContentAlgorithmFacts& facts, ContentEncryption& encryption,
                                 std::span<std::uint8_t> buffer, std::size_t filled, bool last) {
    if (encryption.gcm) {
        const std::span<std::uint8_t> piece = buffer.first(filled);
        RETURN_IF_FAILED(encryption.gcm->Encrypt(piece, piece));
        return filled;
    }
    const std::size_t length = last ? Pad(facts, buffer, filled) : filled;
    RETURN_IF_FAILED(CipherInPlace(encryption.context.get(), buffer.first(length)));
    return length;
}

// Encrypts the stream piece by piece into `out`; each piece is a chunk of its own (a primitive
// OCTET STRING) when `chunked`. Gives the number of bytes written.
Result<std::uint64_t> StreamContent(const ContentAlgorithmFacts& facts,
                                    ContentEncryption& encryption, ByteStream& content,
                                    std::optional<std::uint64_t> declared, bool chunked,
                                    ByteSink& out) {
    ASSIGN_OR_RETURN(PrivateBuffer buffer, PrivateBuffer::Allocate(kPieceBytes + facts.blockBytes));
    std::uint64_t contentBytes = 0;
    std::uint64_t written = 0;
    for (bool last = false; !last;) {
        ASSIGN_OR_RETURN(std::size_t filled, Fill(content, buffer.bytes().first(kPieceBytes)));
        contentBytes += filled;
        if (declared && contentBytes > *declared) {
            return WrongContentLength(*declared);
        }
        last = filled < kPieceBytes;
        ASSIGN_OR_RETURN(const std::size_t length,
                         EncryptPiece(facts, encryption, buffer.bytes(), filled, last));
        if (length == 0) {
            continue;
        }
        const std::span<std::uint8_t> piece = buffer.bytes().first(length);
        if (chunked) {
            const der::Bytes header = der::Header(tag::kOctetString, length);
            RETURN_IF_FAILED(out.Write(header));
            written += header.size();
        }
        RETURN_IF_FAILED(out.Write(piece));
        written += length;
    }
    if (declared && contentBytes != *declared) {
        return WrongContentLength(*declared);
    }
    return written;
}

Result<std::uint64_t> StreamEnvelope(const ContentAlgorithmFacts& facts,
                                     const std::vector<EntryGroup>& groups, ByteStream& content,
                                     std::optional<std::uint64_t> contentSize, ByteSink& out) {
    ASSIGN_OR_RETURN(ContentEncryption encryption, StartContentEncryption(facts, groups));
    const bool definite = contentSize.has_value();
    const der::Bytes prefix =
        definite ? DerPrefix(encryption.front, CipherTextBytes(facts, *contentSize))
                 : BerPrefix(encryption.front);
    RETURN_IF_FAILED(out.Write(prefix));
    ASSIGN_OR_RETURN(std::uint64_t body,
                     StreamContent(facts, encryption, content, contentSize, !definite, out));
    std::uint64_t written = prefix.size() + body;
    const std::span<const std::uint8_t> trailer(kBerTrailer);
    const std::size_t closing = encryption.gcm ? kBerContentClosing : 0;
    if (!definite && closing > 0) {
        RETURN_IF_FAILED(out.Write(trailer.first(closing)));
        written += closing;
    }
    if (encryption.gcm) {
        GcmCipher::Block tag = encryption.gcm->Tag({});
        const der::Bytes mac = Mac(tag);
        RETURN_IF_FAILED(out.Write(mac));
        written += mac.size();
    }
    if (!definite) {
        RETURN_IF_FAILED(out.Write(trailer.subspan(closing)));
        written += trailer.size() - closing;
    }
    return written;
}

}  // namespace

Result<std::uint64_t> EnvelopeSize(ContentAlgorithm cipher,
                                   std::span<const Certificate* const> recipients,
                                   std::uint64_t contentSize) {
    ASSIGN_OR_RETURN(EnvelopePlan plan, PlanEnvelope(cipher, recipients));
    const std::uint64_t cipherTextBytes = CipherTextBytes(*plan.facts, contentSize);
    const MessageFront front = PlaceholderFront(*plan.facts, plan.recipients);
    return DerPrefix(front, cipherTextBytes).size() + cipherTextBytes + MacBytes(front);
}

Result<std::uint64_t> EnvelopeStream(ContentAlgorithm cipher,
                                     std::span<const Certificate* const> recipients,
                                     ByteStream& content, std::optional<std::uint64_t> contentSize,
                                     ByteSink& out) {
    ASSIGN_OR_RETURN(EnvelopePlan plan, PlanEnvelope(cipher, recipients));
    return StreamEnvelope(*plan.facts, plan.recipients, content, contentSize, out);
}

}  // namespace mirebolt::platform
