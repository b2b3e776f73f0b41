#include "cms/envelope.h"

#include <pk11pub.h>
#include <secerr.h>

#include <algorithm>
#include <array>
#include <vector>

#include "asn1/der_writer.h"
#include "base/private_buffer.h"
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

der::Bytes IndefiniteHeader(std::uint8_t tag) {
    return {tag, kIndefiniteLength};
}

// The parts of the message in front of the encrypted content whose bytes do not depend on how
// the lengths around them are written.
struct MessageFront {
    der::Bytes envelopedData;         // version and the recipient entries
    der::Bytes encryptedContentInfo;  // content type, and the cipher with its IV
};

MessageFront Front(const ContentAlgorithmFacts& facts, std::span<const std::uint8_t> iv,
                   const std::vector<EntryPlan>& plans, std::vector<der::Bytes> infos) {
    // RFC 5652's rule: version 2 as soon as an entry is not a version 0 key transport.
    const bool keyAgreement = std::any_of(plans.begin(), plans.end(), [](const auto& plan) {
        return plan.recipients.front().delivery == KeyDelivery::KeyAgreement;
    });
    MessageFront front;
    front.envelopedData =
        der::Element(tag::kInteger, std::array{static_cast<std::uint8_t>(keyAgreement ? 2 : 0)});
    // In DER's order of the final entries, whatever the recipients' order: the same lengths for
    // placeholders and real entries, so the size stays exact.
    der::Append(front.envelopedData, der::SetOf(std::move(infos)));

    der::Bytes algorithm = der::ObjectIdentifier(facts.oid);
    der::Append(algorithm, der::Element(tag::kOctetString, iv));
    front.encryptedContentInfo = der::ObjectIdentifier(oid::kData);
    der::Append(front.encryptedContentInfo, der::Element(tag::kSequence, algorithm));
    return front;
}

// The front with zeros in place of the IV and the keys: as long as the real one.
MessageFront PlaceholderFront(const ContentAlgorithmFacts& facts,
                              const std::vector<EntryPlan>& plans) {
    std::vector<der::Bytes> infos;
    for (const EntryPlan& plan : plans) {
        infos.push_back(PlaceholderRecipientInfo(plan));
    }
    return Front(facts, der::Bytes(facts.ivBytes), plans, infos);
}

// Everything in front of the encrypted content in DER, which is the last thing in the message,
// so that the message is this prefix followed by the cipher text.
der::Bytes DerPrefix(const MessageFront& front, std::uint64_t cipherTextBytes) {
    der::Bytes encryptedContentInfo = front.encryptedContentInfo;
    der::Append(encryptedContentInfo, der::Header(tag::kContextPrimitive0, cipherTextBytes));
    const std::uint64_t encryptedContentInfoBytes = encryptedContentInfo.size() + cipherTextBytes;

    der::Bytes envelopedData = front.envelopedData;
    der::Append(envelopedData, der::Header(tag::kSequence, encryptedContentInfoBytes));
    der::Append(envelopedData, encryptedContentInfo);
    const std::uint64_t envelopedDataBytes = envelopedData.size() + cipherTextBytes;

    der::Bytes envelopedDataHeader = der::Header(tag::kSequence, envelopedDataBytes);
    const std::uint64_t explicitBytes = envelopedDataHeader.size() + envelopedDataBytes;
    der::Bytes contentInfo = der::ObjectIdentifier(oid::kEnvelopedData);
    der::Append(contentInfo, der::Header(tag::kContextConstructed0, explicitBytes));
    der::Append(contentInfo, envelopedDataHeader);
    der::Append(contentInfo, envelopedData);
    const std::uint64_t contentInfoBytes = contentInfo.size() + cipherTextBytes;

    der::Bytes message = der::Header(tag::kSequence, contentInfoBytes);
    der::Append(message, contentInfo);
    return message;
}

// The same in BER with indefinite lengths, the encrypted content to follow as a constructed
// OCTET STRING of chunks and kBerTrailer after it.
der::Bytes BerPrefix(const MessageFront& front) {
    der::Bytes message = IndefiniteHeader(tag::kSequence);
    der::Append(message, der::ObjectIdentifier(oid::kEnvelopedData));
    der::Append(message, IndefiniteHeader(tag::kContextConstructed0));
    der::Append(message, IndefiniteHeader(tag::kSequence));
    der::Append(message, front.envelopedData);
    der::Append(message, IndefiniteHeader(tag::kSequence));
    der::Append(message, front.encryptedContentInfo);
    der::Append(message, IndefiniteHeader(tag::kContextConstructed0));
    return message;
}

std::uint64_t CipherTextBytes(const ContentAlgorithmFacts& facts, std::uint64_t contentSize) {
    return (contentSize / facts.blockBytes + 1) * facts.blockBytes;
}

// The writer pads by hand for CBC; authenticated encryption is only read.
Result<const ContentAlgorithmFacts*> StartEnvelope(ContentAlgorithm cipher) {
    if (!NssRuntime::EnsureStarted()) {
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    const ContentAlgorithmFacts& facts = FactsOf(cipher);
    if (facts.mode != ContentMode::Cbc) {
        return NssFailure(SEC_ERROR_INVALID_ALGORITHM);
    }
    return &facts;
}

// What every writer starts from: the cipher's facts and a plan for each recipient entry.
struct EnvelopePlan {
    const ContentAlgorithmFacts* facts = nullptr;
    std::vector<EntryPlan> recipients;
};

Result<EnvelopePlan> PlanEnvelope(ContentAlgorithm cipher,
                                  std::span<const Certificate* const> recipients) {
    ASSIGN_OR_RETURN(const ContentAlgorithmFacts* facts, StartEnvelope(cipher));
    ASSIGN_OR_RETURN(std::vector<EntryPlan> plans, PlanEntries(recipients, *facts));
    return EnvelopePlan{facts, std::move(plans)};
}

// A fresh content key and IV, the key given to every recipient, and the cipher ready to run.
struct ContentEncryption {
    UniqueSymKey contentKey;
    UniqueCipherContext context;
    MessageFront front;
};

Result<ContentEncryption> StartContentEncryption(const ContentAlgorithmFacts& facts,
                                                 const std::vector<EntryPlan>& plans) {
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
    for (const EntryPlan& plan : plans) {
        ASSIGN_OR_RETURN(der::Bytes info, RecipientInfo(plan, encryption.contentKey.get()));
        infos.push_back(std::move(info));
    }
    encryption.front = Front(facts, std::span(iv).first(facts.ivBytes), plans, std::move(infos));

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

// Encrypts whole blocks where they stand.
Status EncryptInPlace(PK11Context* context, std::span<std::uint8_t> blocks) {
    int produced = 0;
    if (PK11_CipherOp(context, blocks.data(), &produced, static_cast<int>(blocks.size()),
                      blocks.data(), static_cast<int>(blocks.size())) != SECSuccess) {
        return NssFailure();
    }
    if (static_cast<std::size_t>(produced) != blocks.size()) {
        return NssFailure(SEC_ERROR_LIBRARY_FAILURE);
    }
    return {};
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

// Encrypts the stream piece by piece into `out`; each piece is a chunk of its own (a primitive
// OCTET STRING) when `chunked`. Gives the number of bytes written.
Result<std::uint64_t> StreamContent(const ContentAlgorithmFacts& facts, PK11Context* context,
                                    ByteStream& content, std::optional<std::uint64_t> declared,
                                    bool chunked, ByteSink& out) {
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
        const std::size_t length = last ? Pad(facts, buffer.bytes(), filled) : filled;
        const std::span<std::uint8_t> piece = buffer.bytes().first(length);
        RETURN_IF_FAILED(EncryptInPlace(context, piece));
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
                                     const std::vector<EntryPlan>& plans, ByteStream& content,
                                     std::optional<std::uint64_t> contentSize, ByteSink& out) {
    ASSIGN_OR_RETURN(ContentEncryption encryption, StartContentEncryption(facts, plans));
    const bool definite = contentSize.has_value();
    const der::Bytes prefix =
        definite ? DerPrefix(encryption.front, CipherTextBytes(facts, *contentSize))
                 : BerPrefix(encryption.front);
    RETURN_IF_FAILED(out.Write(prefix));
    ASSIGN_OR_RETURN(std::uint64_t body, StreamContent(facts, encryption.context.get(), content,
                                                       contentSize, !definite, out));
    std::uint64_t written = prefix.size() + body;
    if (!definite) {
        RETURN_IF_FAILED(out.Write(kBerTrailer));
        written += kBerTrailer.size();
    }
    return written;
}

}  // namespace

Result<std::uint64_t> EnvelopeSize(ContentAlgorithm cipher,
                                   std::span<const Certificate* const> recipients,
                                   std::uint64_t contentSize) {
    ASSIGN_OR_RETURN(EnvelopePlan plan, PlanEnvelope(cipher, recipients));
    const std::uint64_t cipherTextBytes = CipherTextBytes(*plan.facts, contentSize);
    return DerPrefix(PlaceholderFront(*plan.facts, plan.recipients), cipherTextBytes).size() +
           cipherTextBytes;
}

Result<std::uint64_t> EnvelopeStream(ContentAlgorithm cipher,
                                     std::span<const Certificate* const> recipients,
                                     ByteStream& content, std::optional<std::uint64_t> contentSize,
                                     ByteSink& out) {
    ASSIGN_OR_RETURN(EnvelopePlan plan, PlanEnvelope(cipher, recipients));
    return StreamEnvelope(*plan.facts, plan.recipients, content, contentSize, out);
}

}  // namespace mirebolt::platform
