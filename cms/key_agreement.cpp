#include "cms/key_agreement.h"

#include <keyhi.h>
#include <secerr.h>
#include <secitem.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "asn1/asn1_tags.h"
#include "asn1/malformed.h"
#include "asn1/object_identifier.h"
#include "base/private_buffer.h"
#include "cms/ecc_shared_info.h"
#include "cms/open_failures.h"
#include "cms/recipient_identifier.h"
#include "cms/triple_des_key_wrap.h"
#include "nss/card_key_agreement.h"
#include "nss/error_text.h"
#include "nss/public_key.h"

namespace mirebolt::platform {

namespace {

// A wrapped key is the content key and one block: this is far above any content key.
constexpr std::size_t kLargestEncryptedKey = 8 * 1024;

constexpr std::uint8_t kOriginatorTag = tag::kContextConstructed0;     // [0] EXPLICIT
constexpr std::uint8_t kOriginatorKeyTag = tag::kContextConstructed1;  // [1] IMPLICIT
constexpr std::uint8_t kUkmTag = tag::kContextConstructed1;            // [1] EXPLICIT

// The sender's random keying material in every entry we write, entering each key derivation:
// 512 bits, the length RFC 2631 fixes for the same field of Diffie-Hellman (RFC 5753 sets none).
// With it present, readers that derive a wrong key when it is absent derive the right one.
constexpr std::size_t kUserKeyingMaterialBytes = 64;

bool ServesKey(std::span<const std::uint8_t> algorithm) {
    return OidMatches(algorithm, oid::kEcPublicKey);
}

std::optional<KeyAgreementChoice> AgreementFor(const SECKEYPublicKey& key) {
    const SECItem& parameters = key.u.ec.DEREncodedParams;
    const std::optional<std::span<const std::uint8_t>> oid =
        NamedCurveOid(std::span(parameters.data, parameters.len));
    const CurveFacts* curve = oid ? FindCurve(*oid) : nullptr;
    if (curve == nullptr) {
        return std::nullopt;
    }
    return KeyAgreementChoice{curve->writtenScheme, &Aes256WrapFacts(), 1 + 2 * curve->fieldBytes};
}

Result<RecipientPlan> Plan(const Certificate& certificate, const ContentAlgorithmFacts& cipher) {
    RecipientPlan plan;
    plan.key.reset(CERT_ExtractPublicKey(certificate.get()));
    if (!plan.key || SECKEY_GetPublicKeyType(plan.key.get()) != ecKey) {
        return CannotReceive(certificate);
    }
    std::optional<KeyAgreementChoice> agreement = AgreementFor(*plan.key);
    if (!agreement || agreement->scheme == nullptr || agreement->wrap == nullptr) {
        return CannotReceive(certificate);
    }
    plan.delivery = KeyDelivery::KeyAgreement;
    plan.agreement = *agreement;
    // AES key wrap adds one 8-byte block to the content key.
    plan.wrappedKeyBytes = cipher.keyBytes + 8;
    return plan;
}

// Recipients on one curve share an ephemeral key and keying material; the KDF and the key wrap
// follow from the curve.
bool JoinsGroup(const RecipientPlan& first, const RecipientPlan& next) {
    return first.agreement.scheme == next.agreement.scheme &&
           first.agreement.wrap == next.agreement.wrap &&
           SECITEM_ItemsAreEqual(&first.key->u.ec.DEREncodedParams,
                                 &next.key->u.ec.DEREncodedParams);
}

struct EphemeralKey {
    UniquePrivateKey privateKey;
    UniquePublicKey publicKey;
};

// The ephemeral private key lives as a session object of NSS's internal token, never on a token
// on disk, and is destroyed with the EphemeralKey.
Result<EphemeralKey> GenerateEphemeral(const SECKEYPublicKey& onCurveOf) {
    UniqueSlot slot(PK11_GetInternalSlot());
    if (!slot) {
        return NssFailure();
    }
    SECKEYECParams curve = onCurveOf.u.ec.DEREncodedParams;
    SECKEYPublicKey* ephemeralPublic = nullptr;
    // A session object, never stored; made for deriving only, which also spares the signing
    // self-test a signing key would get.
    EphemeralKey ephemeral;
    ephemeral.privateKey.reset(
        PK11_GenerateKeyPairWithOpFlags(slot.get(), CKM_EC_KEY_PAIR_GEN, &curve, &ephemeralPublic,
                                        PK11_ATTR_SESSION | PK11_ATTR_SENSITIVE | PK11_ATTR_PRIVATE,
                                        CKF_DERIVE, CKF_DERIVE | CKF_SIGN | CKF_VERIFY, nullptr));
    ephemeral.publicKey.reset(ephemeralPublic);
    if (!ephemeral.privateKey || !ephemeral.publicKey) {
        return NssFailure();
    }
    return ephemeral;
}

// The content key wrapped for one recipient, under the key-encryption key agreed between the
// ephemeral key and the recipient's.
Result<der::Bytes> WrapFor(const RecipientPlan& plan, SECKEYPrivateKey* ephemeral,
                           der::Bytes& sharedInfo, PK11SymKey* contentKey) {
    const KeyAgreementChoice& choice = plan.agreement;
    SECItem sharedInfoItem{siBuffer, sharedInfo.data(), static_cast<unsigned>(sharedInfo.size())};
    UniqueSymKey keyEncryptionKey(PK11_PubDeriveWithKDF(
        ephemeral, plan.key.get(), PR_TRUE /* sender */, nullptr, nullptr, CKM_ECDH1_DERIVE,
        CKM_NSS_AES_KEY_WRAP, CKA_WRAP, static_cast<int>(choice.wrap->kekBytes), choice.scheme->kdf,
        &sharedInfoItem, nullptr));
    if (!keyEncryptionKey) {
        return NssFailure();
    }
    UniqueSecItem wrapped(
        SECITEM_AllocItem(nullptr, nullptr, static_cast<unsigned>(plan.wrappedKeyBytes)));
    if (!wrapped) {
        return NssFailure();
    }
    if (PK11_WrapSymKey(CKM_NSS_AES_KEY_WRAP, nullptr, keyEncryptionKey.get(), contentKey,
                        wrapped.get()) != SECSuccess) {
        return NssFailure();
    }
    if (wrapped->len != plan.wrappedKeyBytes) {
        return NssFailure(SEC_ERROR_LIBRARY_FAILURE);
    }
    return der::Bytes(wrapped->data, wrapped->data + wrapped->len);
}

// KeyAgreeRecipientInfo, version 3: the ephemeral key as the originator (its curve is the
// recipient's, so the algorithm's parameters are left out), the sender's keying material, and
// the one recipient's encrypted key. RFC 5753 allows several keys in one entry, but some
// readers unwrap only the first, so each recipient gets an entry of its own; the entries of a
// group differ only in their recipient and its key.
der::Bytes Entry(const RecipientPlan& plan, std::span<const std::uint8_t> point,
                 std::span<const std::uint8_t> userKeyingMaterial,
                 std::span<const std::uint8_t> wrappedKey) {
    const KeyAgreementChoice& choice = plan.agreement;
    der::Bytes bits{0};  // no unused bits
    der::Append(bits, point);
    der::Bytes originatorKey = der::Sequence({der::ObjectIdentifier(oid::kEcPublicKey)});
    der::Append(originatorKey, der::Element(tag::kBitString, bits));
    der::Bytes originator =
        der::Element(kOriginatorTag, der::Element(kOriginatorKeyTag, originatorKey));
    der::Bytes algorithm =
        der::Sequence({der::ObjectIdentifier(choice.scheme->oid),
                       der::Sequence({der::ObjectIdentifier(choice.wrap->oid)})});
    const der::Bytes encryptedKey = der::Sequence(
        {IssuerAndSerialNumber(*plan.certificate), der::Element(tag::kOctetString, wrappedKey)});
    der::Bytes content = Version(3);
    der::Append(content, originator);
    der::Append(content,
                der::Element(kUkmTag, der::Element(tag::kOctetString, userKeyingMaterial)));
    der::Append(content, algorithm);
    der::Append(content, der::Element(tag::kSequence, encryptedKey));
    return der::Element(tag::kContextConstructed1, content);
}

std::vector<der::Bytes> Placeholders(const EntryGroup& group) {
    const der::Bytes point(group.recipients.front().agreement.pointBytes);
    const der::Bytes userKeyingMaterial(kUserKeyingMaterialBytes);
    std::vector<der::Bytes> entries;
    for (const RecipientPlan& plan : group.recipients) {
        entries.push_back(Entry(plan, point, userKeyingMaterial, der::Bytes(plan.wrappedKeyBytes)));
    }
    return entries;
}

// One ephemeral key and one user keying material for the whole group: each recipient's
// key-encryption key still differs, since each recipient's static key does.
Result<std::vector<der::Bytes>> Write(const EntryGroup& group, PK11SymKey* contentKey) {
    const RecipientPlan& first = group.recipients.front();
    ASSIGN_OR_RETURN(const EphemeralKey ephemeral, GenerateEphemeral(*first.key));
    const SECItem& point = ephemeral.publicKey->u.ec.publicValue;
    if (point.len != first.agreement.pointBytes) {
        return NssFailure(SEC_ERROR_LIBRARY_FAILURE);
    }
    der::Bytes userKeyingMaterial(kUserKeyingMaterialBytes);
    if (PK11_GenerateRandom(userKeyingMaterial.data(),
                            static_cast<int>(userKeyingMaterial.size())) != SECSuccess) {
        return NssFailure();
    }
    der::Bytes sharedInfo = SharedInfo(*first.agreement.wrap, userKeyingMaterial);
    std::vector<der::Bytes> entries;
    for (const RecipientPlan& plan : group.recipients) {
        ASSIGN_OR_RETURN(const der::Bytes wrapped,
                         WrapFor(plan, ephemeral.privateKey.get(), sharedInfo, contentKey));
        entries.push_back(
            Entry(plan, std::span(point.data, point.len), userKeyingMaterial, wrapped));
    }
    return entries;
}

// OriginatorIdentifierOrKey ::= CHOICE { issuerAndSerialNumber, [0] subjectKeyIdentifier,
// [1] originatorKey OriginatorPublicKey }: only a fresh key is ephemeral-static ECDH.
Status ReadOriginator(BerCursor choice, RecipientEntry& common, KeyAgreementShared& shared) {
    ASSIGN_OR_RETURN(const BerElement originator, choice.Next());
    if (originator.tag() != kOriginatorKeyTag) {
        common.unusable = "key agreement with a static key of the sender's certificate";
        return {};
    }
    // OriginatorPublicKey ::= SEQUENCE { algorithm AlgorithmIdentifier, publicKey BIT STRING }
    BerCursor key = BerCursor::Children(originator);
    RETURN_IF_FAILED(key.Next(tag::kSequence));
    ASSIGN_OR_RETURN(const std::span<const std::uint8_t> bits, key.Primitive(tag::kBitString));
    if (bits.empty() || bits[0] != 0) {
        return Malformed();
    }
    shared.originatorKey = Copy(bits.subspan(1));
    return {};
}

// The key derivation and the key wrap, and the texts that name them.
Status ReadScheme(const BerElement& element, RecipientEntry& common, KeyAgreementShared& shared) {
    ASSIGN_OR_RETURN(const Algorithm scheme, ReadAlgorithm(element));
    common.kdf = FindKdfScheme(scheme.oid);
    std::string wrapName = "an unknown key wrap";
    if (scheme.parameters && scheme.parameters->tag() == tag::kSequence) {
        ASSIGN_OR_RETURN(const Algorithm wrap, ReadAlgorithm(*scheme.parameters));
        common.wrap = FindKeyWrap(wrap.oid);
        // The sender's key derivation had them in DER (NULL for the Triple DES wrap), however
        // the message writes their length.
        if (wrap.parameters) {
            const BerElement& parameters = *wrap.parameters;
            shared.wrapParameters =
                parameters.header.constructed() || parameters.header.identifierLength != 1
                    ? Copy(parameters.whole)
                    : der::Element(parameters.tag(), parameters.content);
        }
        if (common.wrap != nullptr) {
            wrapName = std::string(common.wrap->name);
        } else {
            wrapName = "the key wrap " + DottedOid(wrap.oid);
        }
    }
    const std::string schemeName = common.kdf != nullptr ? std::string(common.kdf->name)
                                                         : "the scheme " + DottedOid(scheme.oid);
    common.algorithm = "ECDH (" + schemeName + ", " + wrapName + ")";
    if (common.unusable.empty() && common.kdf == nullptr) {
        common.unusable = "key agreement with " + schemeName;
    } else if (common.unusable.empty() && common.wrap == nullptr) {
        common.unusable = "key agreement with " + wrapName;
    }
    return {};
}

// KeyAgreeRecipientIdentifier ::= CHOICE { issuerAndSerialNumber,
// [0] RecipientKeyIdentifier SEQUENCE { subjectKeyIdentifier, date OPTIONAL, other OPTIONAL } }
Result<RecipientIdentifier> ReadRecipient(const BerElement& rid) {
    if (rid.tag() == tag::kSequence) {
        return ReadIssuerAndSerial(rid);
    }
    if (rid.tag() != tag::kContextConstructed0) {
        return Malformed();
    }
    BerCursor fields = BerCursor::Children(rid);
    ASSIGN_OR_RETURN(const BerElement identifier, fields.Next());
    if (identifier.tag() != tag::kOctetString && identifier.tag() != tag::kConstructedOctetString) {
        return Malformed();
    }
    return ReadKeyIdentifier(identifier);
}

// KeyAgreeRecipientInfo ::= SEQUENCE { version, originator [0], ukm [1] OPTIONAL,
// keyEncryptionAlgorithm, recipientEncryptedKeys SEQUENCE OF { rid, encryptedKey } }
// The originator's key, the keying material and the wrap's parameters are read once and shared
// by every recipient the entry names.
Status Read(BerCursor fields, const RecipientEntryTaker& take) {
    RecipientEntry common;
    common.kind = RecipientKind::KeyAgreement;
    auto shared = std::make_shared<KeyAgreementShared>();
    RETURN_IF_FAILED(fields.Next(tag::kInteger));
    ASSIGN_OR_RETURN(const BerCursor originator, fields.Enter(kOriginatorTag));
    RETURN_IF_FAILED(ReadOriginator(originator, common, *shared));
    ASSIGN_OR_RETURN(const std::optional<BerElement> ukm, fields.NextIf(kUkmTag));
    if (ukm) {
        ASSIGN_OR_RETURN(const Octets material, BerCursor::Children(*ukm).OctetString());
        shared->userKeyingMaterial = material.Copy();
    }
    ASSIGN_OR_RETURN(const BerElement scheme, fields.Next());
    RETURN_IF_FAILED(ReadScheme(scheme, common, *shared));
    common.agreement = std::move(shared);

    ASSIGN_OR_RETURN(BerCursor keys, fields.Enter(tag::kSequence));
    while (!keys.empty()) {
        ASSIGN_OR_RETURN(BerCursor key, keys.Enter(tag::kSequence));
        ASSIGN_OR_RETURN(const BerElement rid, key.Next());
        RecipientEntry entry = common;
        ASSIGN_OR_RETURN(entry.id, ReadRecipient(rid));
        ASSIGN_OR_RETURN(const Octets encrypted, key.OctetString(kLargestEncryptedKey));
        entry.encryptedKey = encrypted.Copy();
        RETURN_IF_FAILED(take(std::move(entry)));
    }
    return {};
}

// The curve of an EC certificate's key, when this program cannot use it.
std::optional<std::string> UnusableKey(const Certificate& mine) {
    const std::optional<std::span<const std::uint8_t>> oid = NamedCurveOf(*mine.get());
    if (oid && FindCurve(*oid) != nullptr) {
        return std::nullopt;
    }
    const std::string curve = !OidMatches(KeyAlgorithmOid(*mine.get()), oid::kEcPublicKey)
                                  ? "a key that is not elliptic-curve"
                              : oid ? "the curve " + DottedOid(*oid)
                                    : "an unnamed curve";
    return "The message was encrypted for your key on " + curve +
           ", which this program cannot use.";
}

// The AES wraps unwrap with their key-encryption key; the Triple DES wrap is undone here, on a
// key-encryption key that decrypts.
CK_ATTRIBUTE_TYPE KekOperation(const KeyWrapFacts& wrap) {
    return wrap.kekMechanism == CKM_DES3_CBC ? CKA_DECRYPT : CKA_UNWRAP;
}

// Cards derive ECDH without a KDF only: the raw secret comes from the card, and the X9.63 KDF,
// Hash(Z || counter || SharedInfo) for counter 1, 2, ..., runs here, the key-encryption key
// made of it living on NSS's own token.
Result<UniqueSymKey> KekFromCardSecret(SECKEYPrivateKey* key, const RecipientEntry& entry,
                                       std::span<const std::uint8_t> sharedInfo) {
    const SECOidTag hash = PK11_MechanismToAlgtag(entry.kdf->hash);
    if (hash == SEC_OID_UNKNOWN) {
        return KeyNotUnwrapped();
    }
    Result<PrivateBuffer> secret =
        CardSharedSecret(key, entry.agreement->originatorKey, entry.kdf->cofactor);
    if (!secret) {
        return KeyNotUnwrapped();
    }
    constexpr std::size_t kLongestDigest = 64;
    const std::size_t kekBytes = entry.wrap->kekBytes;
    ASSIGN_OR_RETURN(PrivateBuffer blocks, PrivateBuffer::Allocate(kekBytes + kLongestDigest));
    const std::span<const std::uint8_t> z = secret->bytes();
    std::size_t filled = 0;
    for (std::uint32_t counter = 1; filled < kekBytes; ++counter) {
        const std::array<std::uint8_t, 4> counterBytes{
            static_cast<std::uint8_t>(counter >> 24), static_cast<std::uint8_t>(counter >> 16),
            static_cast<std::uint8_t>(counter >> 8), static_cast<std::uint8_t>(counter)};
        UniqueCipherContext digest(PK11_CreateDigestContext(hash));
        unsigned length = 0;
        if (!digest || PK11_DigestBegin(digest.get()) != SECSuccess ||
            PK11_DigestOp(digest.get(), z.data(), static_cast<unsigned>(z.size())) != SECSuccess ||
            PK11_DigestOp(digest.get(), counterBytes.data(), counterBytes.size()) != SECSuccess ||
            PK11_DigestOp(digest.get(), sharedInfo.data(),
                          static_cast<unsigned>(sharedInfo.size())) != SECSuccess ||
            PK11_DigestFinal(digest.get(), blocks.bytes().data() + filled, &length,
                             kLongestDigest) != SECSuccess ||
            length == 0) {
            return KeyNotUnwrapped();
        }
        filled += length;
    }
    UniqueSlot internal(PK11_GetInternalSlot());
    SECItem kekItem{siBuffer, blocks.bytes().data(), static_cast<unsigned>(kekBytes)};
    UniqueSymKey kek(internal ? PK11_ImportSymKey(internal.get(), entry.wrap->kekMechanism,
                                                  PK11_OriginUnwrap, KekOperation(*entry.wrap),
                                                  &kekItem, nullptr)
                              : nullptr);
    if (!kek) {
        return KeyNotUnwrapped();
    }
    return kek;
}

Result<UniqueSymKey> Unwrap(const RecipientEntry& entry, const Certificate& mine,
                            SECKEYPrivateKey* key, const ContentAlgorithmFacts& cipher,
                            KeyAccessSession& session) {
    UniquePublicKey own(CERT_ExtractPublicKey(mine.get()));
    if (!own || SECKEY_GetPublicKeyType(own.get()) != ecKey) {
        return KeyNotUnwrapped();
    }
    // The curve is the recipient's: senders often leave it out of their ephemeral key.
    SECKEYPublicKey originator{};
    originator.keyType = ecKey;
    originator.pkcs11ID = CK_INVALID_HANDLE;
    originator.u.ec.DEREncodedParams = own->u.ec.DEREncodedParams;
    originator.u.ec.size = own->u.ec.size;
    originator.u.ec.encoding = ECPoint_Uncompressed;
    const KeyAgreementShared& shared = *entry.agreement;
    originator.u.ec.publicValue = {siBuffer,
                                   const_cast<unsigned char*>(shared.originatorKey.data()),
                                   static_cast<unsigned>(shared.originatorKey.size())};
    der::Bytes sharedInfo =
        SharedInfo(*entry.wrap, shared.userKeyingMaterial, shared.wrapParameters);
    SECItem sharedInfoItem{siBuffer, sharedInfo.data(), static_cast<unsigned>(sharedInfo.size())};
    UniqueSymKey kek(PK11_PubDeriveWithKDF(
        key, &originator, PR_FALSE, nullptr, nullptr,
        entry.kdf->cofactor ? CKM_ECDH1_COFACTOR_DERIVE : CKM_ECDH1_DERIVE,
        entry.wrap->kekMechanism, KekOperation(*entry.wrap), static_cast<int>(entry.wrap->kekBytes),
        entry.kdf->kdf, &sharedInfoItem, &session));
    if (!kek && !PK11_IsInternal(key->pkcs11Slot)) {
        ASSIGN_OR_RETURN(kek, KekFromCardSecret(key, entry, sharedInfo));
    }
    if (!kek) {
        return KeyNotUnwrapped();
    }
    if (entry.wrap->kekMechanism == CKM_DES3_CBC) {
        return UnwrapTripleDesKey(kek.get(), entry.encryptedKey, cipher);
    }
    SECItem wrapped{siBuffer, const_cast<unsigned char*>(entry.encryptedKey.data()),
                    static_cast<unsigned>(entry.encryptedKey.size())};
    return CheckedContentKey(PK11_UnwrapSymKey(kek.get(), CKM_NSS_AES_KEY_WRAP, nullptr, &wrapped,
                                               PaddedMechanism(cipher), CKA_DECRYPT, 0),
                             cipher);
}

}  // namespace

const RecipientKindUnit& KeyAgreementUnit() {
    static const RecipientKindUnit kUnit{RecipientKind::KeyAgreement,
                                         tag::kContextConstructed1,
                                         ServesKey,
                                         Plan,
                                         JoinsGroup,
                                         Placeholders,
                                         Write,
                                         Read,
                                         UnusableKey,
                                         Unwrap};
    return kUnit;
}

}  // namespace mirebolt::platform
