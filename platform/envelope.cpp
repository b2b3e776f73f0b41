#include "platform/envelope.h"

#include <pk11pub.h>
#include <secerr.h>
#include <string.h>

#include <algorithm>
#include <array>
#include <vector>

#include "platform/cms_algorithms.h"
#include "platform/der_writer.h"
#include "platform/error_text.h"
#include "platform/nss_runtime.h"
#include "platform/nss_types.h"

namespace mirebolt::platform {

namespace {

using CipherSpec = ContentAlgorithmFacts;

// Content is read and encrypted in pieces of this size.
constexpr std::size_t kPieceBytes = 1 << 20;

struct Recipient {
    const Certificate* certificate;
    UniquePublicKey key;
    unsigned wrappedKeyBytes;
};

der::Bytes ObjectIdentifier(std::string_view dotted) {
    return der::Element(der::tag::kObjectIdentifier, *der::ObjectIdentifierContent(dotted));
}

der::Bytes Sequence(std::initializer_list<der::Bytes> parts) {
    der::Bytes content;
    for (const der::Bytes& part : parts) {
        der::Append(content, part);
    }
    return der::Element(der::tag::kSequence, content);
}

std::string KeyKindText(KeyKind kind) {
    switch (kind) {
        case KeyKind::Ec:
            return "an elliptic-curve key";
        case KeyKind::RsaPss:
            return "an RSA key restricted to signing (RSA-PSS)";
        case KeyKind::Dsa:
            return "a DSA key";
        default:
            return "a key of a kind that cannot receive encrypted content";
    }
}

Failure UnusableRecipient(const Certificate& certificate, KeyKind kind) {
    return NssFailure(SEC_ERROR_UNSUPPORTED_KEYALG,
                      "The certificate \"" + SubjectDisplayName(certificate) + "\" issued by \"" +
                          IssuerDisplayName(certificate) + "\" has " + KeyKindText(kind) +
                          ". Only certificates with RSA keys can be recipients of an encrypted "
                          "file.");
}

Result<std::vector<Recipient>> PrepareRecipients(std::span<const Certificate* const> recipients) {
    if (recipients.empty()) {
        return NssFailure(SEC_ERROR_INVALID_ARGS);
    }
    std::vector<Recipient> prepared;
    for (const Certificate* certificate : recipients) {
        if (certificate == nullptr || !*certificate) {
            return NssFailure(SEC_ERROR_INVALID_ARGS);
        }
        UniquePublicKey key(CERT_ExtractPublicKey(certificate->get()));
        if (!key) {
            return UnusableRecipient(*certificate, KeyKind::Other);
        }
        if (SECKEY_GetPublicKeyType(key.get()) != rsaKey) {
            return UnusableRecipient(*certificate, PublicKeyKind(*certificate));
        }
        const unsigned modulusBytes = SECKEY_PublicKeyStrength(key.get());
        if (modulusBytes == 0) {
            return UnusableRecipient(*certificate, KeyKind::Other);
        }
        prepared.push_back(Recipient{certificate, std::move(key), modulusBytes});
    }
    return prepared;
}

// KeyTransRecipientInfo, version 0, naming the certificate by issuer and serial number.
der::Bytes RecipientInfo(const Certificate& certificate, std::span<const std::uint8_t> wrappedKey) {
    const CERTCertificate* cert = certificate.get();
    der::Bytes issuer(cert->derIssuer.data, cert->derIssuer.data + cert->derIssuer.len);
    der::Bytes serial = der::Element(der::tag::kInteger,
                                     std::span(cert->serialNumber.data, cert->serialNumber.len));
    return Sequence({
        der::Element(der::tag::kInteger, std::array<std::uint8_t, 1>{0}),
        Sequence({issuer, serial}),
        Sequence({ObjectIdentifier(oid::kRsaEncryption), der::Header(der::tag::kNull, 0)}),
        der::Element(der::tag::kOctetString, wrappedKey),
    });
}

std::uint64_t CipherTextBytes(const CipherSpec& spec, std::uint64_t contentSize) {
    return (contentSize / spec.blockBytes + 1) * spec.blockBytes;
}

// Everything in front of the encrypted content, which is the last thing in the message, so
// that the message is this prefix followed by the cipher text.
der::Bytes MessagePrefix(const CipherSpec& spec, std::span<const std::uint8_t> iv,
                         const std::vector<der::Bytes>& recipientInfos,
                         std::uint64_t cipherTextBytes) {
    der::Bytes infos;
    for (const der::Bytes& info : recipientInfos) {
        der::Append(infos, info);
    }
    der::Bytes encryptedContentInfo = ObjectIdentifier(oid::kData);
    der::Append(encryptedContentInfo,
                Sequence({ObjectIdentifier(spec.oid), der::Element(der::tag::kOctetString, iv)}));
    der::Append(encryptedContentInfo, der::Header(der::tag::kContextPrimitive0, cipherTextBytes));
    const std::uint64_t encryptedContentInfoBytes = encryptedContentInfo.size() + cipherTextBytes;

    der::Bytes envelopedData = der::Element(der::tag::kInteger, std::array<std::uint8_t, 1>{0});
    der::Append(envelopedData, der::Element(der::tag::kSet, infos));
    der::Append(envelopedData, der::Header(der::tag::kSequence, encryptedContentInfoBytes));
    der::Append(envelopedData, encryptedContentInfo);
    const std::uint64_t envelopedDataBytes = envelopedData.size() + cipherTextBytes;

    der::Bytes envelopedDataHeader = der::Header(der::tag::kSequence, envelopedDataBytes);
    const std::uint64_t explicitBytes = envelopedDataHeader.size() + envelopedDataBytes;
    der::Bytes contentInfo = ObjectIdentifier(oid::kEnvelopedData);
    der::Append(contentInfo, der::Header(der::tag::kContextConstructed0, explicitBytes));
    der::Append(contentInfo, envelopedDataHeader);
    der::Append(contentInfo, envelopedData);
    const std::uint64_t contentInfoBytes = contentInfo.size() + cipherTextBytes;

    der::Bytes message = der::Header(der::tag::kSequence, contentInfoBytes);
    der::Append(message, contentInfo);
    return message;
}

// The prefix with zeros in place of the IV and the wrapped keys: the same length as the real one.
der::Bytes PlaceholderPrefix(const CipherSpec& spec, const std::vector<Recipient>& recipients,
                             std::uint64_t contentSize) {
    std::vector<der::Bytes> infos;
    for (const Recipient& recipient : recipients) {
        infos.push_back(RecipientInfo(*recipient.certificate,
                                      std::vector<std::uint8_t>(recipient.wrappedKeyBytes)));
    }
    return MessagePrefix(spec, std::vector<std::uint8_t>(spec.blockBytes), infos,
                         CipherTextBytes(spec, contentSize));
}

// The writer pads by hand for CBC; authenticated encryption is only read.
Result<const CipherSpec*> StartEnvelope(ContentAlgorithm cipher) {
    if (!NssRuntime::EnsureStarted()) {
        return NssFailure(SEC_ERROR_NOT_INITIALIZED);
    }
    const CipherSpec& spec = FactsOf(cipher);
    if (spec.mode != ContentMode::Cbc) {
        return NssFailure(SEC_ERROR_INVALID_ALGORITHM);
    }
    return &spec;
}

Result<der::Bytes> WrapKey(const Recipient& recipient, PK11SymKey* contentKey) {
    UniqueSecItem wrapped(SECITEM_AllocItem(nullptr, nullptr, recipient.wrappedKeyBytes));
    if (!wrapped) {
        return NssFailure();
    }
    if (PK11_PubWrapSymKey(CKM_RSA_PKCS, recipient.key.get(), contentKey, wrapped.get()) !=
        SECSuccess) {
        return NssFailure();
    }
    if (wrapped->len != recipient.wrappedKeyBytes) {
        return NssFailure(SEC_ERROR_LIBRARY_FAILURE);
    }
    return RecipientInfo(*recipient.certificate, std::span(wrapped->data, wrapped->len));
}

// Reads the content into `cipherText` and encrypts it there, adding PKCS #7 padding.
Status EncryptContent(const CipherSpec& spec, PK11Context* context, ByteSource& content,
                      std::span<std::uint8_t> cipherText) {
    const std::uint64_t size = content.Size();
    const std::uint64_t wholeBlocks = size - size % spec.blockBytes;
    for (std::uint64_t done = 0; done < wholeBlocks;) {
        const auto piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPieceBytes, wholeBlocks - done));
        std::span<std::uint8_t> target = cipherText.subspan(done, piece);
        if (Status read = content.ReadAt(done, target); !read) {
            return read;
        }
        int produced = 0;
        if (PK11_CipherOp(context, target.data(), &produced, static_cast<int>(piece), target.data(),
                          static_cast<int>(piece)) != SECSuccess) {
            return NssFailure();
        }
        if (static_cast<std::size_t>(produced) != piece) {
            return NssFailure(SEC_ERROR_LIBRARY_FAILURE);
        }
        done += piece;
    }

    std::array<std::uint8_t, 16> last{};
    const auto rest = static_cast<std::size_t>(size - wholeBlocks);
    Status read = content.ReadAt(wholeBlocks, std::span(last).first(rest));
    std::fill(last.begin() + static_cast<std::ptrdiff_t>(rest),
              last.begin() + static_cast<std::ptrdiff_t>(spec.blockBytes),
              static_cast<std::uint8_t>(spec.blockBytes - rest));
    int produced = 0;
    const bool encrypted =
        read && PK11_CipherOp(context, cipherText.data() + wholeBlocks, &produced,
                              static_cast<int>(spec.blockBytes), last.data(),
                              static_cast<int>(spec.blockBytes)) == SECSuccess;
    explicit_bzero(last.data(), last.size());
    if (!read) {
        return read;
    }
    if (!encrypted) {
        return NssFailure();
    }
    if (static_cast<std::size_t>(produced) != spec.blockBytes) {
        return NssFailure(SEC_ERROR_LIBRARY_FAILURE);
    }
    return content.ConfirmUnchanged();
}

Result<std::uint64_t> WriteEnvelope(const CipherSpec& spec,
                                    const std::vector<Recipient>& recipients, ByteSource& content,
                                    std::span<std::uint8_t> out) {
    const std::uint64_t size = content.Size();
    const std::uint64_t cipherTextBytes = CipherTextBytes(spec, size);
    const std::uint64_t expected =
        PlaceholderPrefix(spec, recipients, size).size() + cipherTextBytes;
    if (out.size() < expected) {
        return NssFailure(SEC_ERROR_OUTPUT_LEN);
    }

    UniqueSlot slot(PK11_GetBestSlot(spec.mechanism, nullptr));
    if (!slot) {
        return NssFailure();
    }
    UniqueSymKey contentKey(
        PK11_KeyGen(slot.get(), spec.mechanism, nullptr, static_cast<int>(spec.keyBytes), nullptr));
    if (!contentKey) {
        return NssFailure();
    }
    std::array<std::uint8_t, 16> iv{};
    if (PK11_GenerateRandom(iv.data(), static_cast<int>(spec.blockBytes)) != SECSuccess) {
        return NssFailure();
    }
    std::span<const std::uint8_t> ivBytes = std::span(iv).first(spec.blockBytes);

    std::vector<der::Bytes> infos;
    for (const Recipient& recipient : recipients) {
        Result<der::Bytes> info = WrapKey(recipient, contentKey.get());
        if (!info) {
            return info.failure();
        }
        infos.push_back(std::move(*info));
    }
    const der::Bytes prefix = MessagePrefix(spec, ivBytes, infos, cipherTextBytes);
    if (prefix.size() + cipherTextBytes != expected) {
        return NssFailure(SEC_ERROR_LIBRARY_FAILURE);
    }

    SECItem ivItem{siBuffer, iv.data(), static_cast<unsigned>(spec.blockBytes)};
    UniqueSecItem parameter(PK11_ParamFromIV(spec.mechanism, &ivItem));
    if (!parameter) {
        return NssFailure();
    }
    UniqueCipherContext context(
        PK11_CreateContextBySymKey(spec.mechanism, CKA_ENCRYPT, contentKey.get(), parameter.get()));
    if (!context) {
        return NssFailure();
    }
    std::copy(prefix.begin(), prefix.end(), out.begin());
    Status encrypted =
        EncryptContent(spec, context.get(), content, out.subspan(prefix.size(), cipherTextBytes));
    if (!encrypted) {
        explicit_bzero(out.data(), out.size());
        return encrypted.failure();
    }
    return expected;
}

}  // namespace

Result<std::uint64_t> EnvelopeSize(ContentAlgorithm cipher,
                                   std::span<const Certificate* const> recipients,
                                   std::uint64_t contentSize) {
    Result<const CipherSpec*> spec = StartEnvelope(cipher);
    if (!spec) {
        return spec.failure();
    }
    Result<std::vector<Recipient>> prepared = PrepareRecipients(recipients);
    if (!prepared) {
        return prepared.failure();
    }
    return PlaceholderPrefix(**spec, *prepared, contentSize).size() +
           CipherTextBytes(**spec, contentSize);
}

Result<std::uint64_t> Envelope(ContentAlgorithm cipher,
                               std::span<const Certificate* const> recipients, ByteSource& content,
                               std::span<std::uint8_t> out) {
    Result<const CipherSpec*> spec = StartEnvelope(cipher);
    if (!spec) {
        return spec.failure();
    }
    Result<std::vector<Recipient>> prepared = PrepareRecipients(recipients);
    if (!prepared) {
        return prepared.failure();
    }
    return WriteEnvelope(**spec, *prepared, content, out);
}

}  // namespace mirebolt::platform
