#include "cms/key_transport.h"

#include <keyhi.h>
#include <secerr.h>

#include <optional>
#include <string>

#include "asn1/asn1_tags.h"
#include "asn1/malformed.h"
#include "asn1/object_identifier.h"
#include "cms/oaep_parameters.h"
#include "cms/recipient_identifier.h"
#include "nss/error_text.h"
#include "nss/public_key.h"

namespace mirebolt::platform {

namespace {

// An encrypted key is as long as the recipient's RSA modulus: this takes keys up to 65536 bits,
// and the whole entry is held in memory and bounded anyway.
constexpr std::size_t kLargestEncryptedKey = 8 * 1024;

constexpr std::uint8_t kHashTag = tag::kContextConstructed0;
constexpr std::uint8_t kMaskGenTag = tag::kContextConstructed1;
constexpr std::uint8_t kLabelSourceTag = tag::kContextConstructed2;

bool ServesKey(std::span<const std::uint8_t> algorithm) {
    return OidMatches(algorithm, oid::kRsaEncryption) || OidMatches(algorithm, oid::kRsaesOaep);
}

std::optional<OaepChoice> OaepChoiceFor(const CERTCertificate& certificate) {
    const std::span<const std::uint8_t> parameters = KeyAlgorithmParameters(certificate);
    if (IsAbsentOrNull(parameters)) {
        // A key that sets no parameters takes any: SHA-256 rather than the old SHA-1 default.
        return OaepChoice{&Sha256Facts(), &Sha256Facts(), {}};
    }
    Result<OaepChoice> choice = ReadOaepParameters(parameters);
    if (!choice) {
        return std::nullopt;
    }
    return std::move(*choice);
}

Result<RecipientPlan> Plan(const Certificate& certificate, const ContentAlgorithmFacts&) {
    const CERTCertificate& cert = *certificate.get();
    RecipientPlan plan;
    plan.key = RsaPublicKey(cert);
    const unsigned modulusBytes = plan.key ? SECKEY_PublicKeyStrength(plan.key.get()) : 0;
    if (modulusBytes == 0) {
        return CannotReceive(certificate);
    }
    plan.wrappedKeyBytes = modulusBytes;
    if (OidMatches(KeyAlgorithmOid(cert), oid::kRsaesOaep)) {
        std::optional<OaepChoice> oaep = OaepChoiceFor(cert);
        if (!oaep || oaep->hash == nullptr || oaep->mgfHash == nullptr) {
            return CannotReceive(certificate);
        }
        plan.delivery = KeyDelivery::RsaOaep;
        plan.oaep = std::move(*oaep);
    }
    return plan;
}

// RSAES-OAEP-params with the SHA-1 defaults left out, as DER requires; hashes are named without
// parameters.
der::Bytes OaepAlgorithm(const OaepChoice& oaep) {
    der::Bytes parameters;
    if (oaep.hash != &Sha1Facts()) {
        der::Append(parameters,
                    der::Element(kHashTag, der::Sequence({der::ObjectIdentifier(oaep.hash->oid)})));
    }
    if (oaep.mgfHash != &Sha1Facts()) {
        der::Append(parameters,
                    der::Element(kMaskGenTag,
                                 der::Sequence(
                                     {der::ObjectIdentifier(oid::kMgf1),
                                      der::Sequence({der::ObjectIdentifier(oaep.mgfHash->oid)})})));
    }
    if (!oaep.label.empty()) {
        der::Append(parameters,
                    der::Element(kLabelSourceTag,
                                 der::Sequence({der::ObjectIdentifier(oid::kPSpecified),
                                                der::Element(tag::kOctetString, oaep.label)})));
    }
    return der::Sequence(
        {der::ObjectIdentifier(oid::kRsaesOaep), der::Element(tag::kSequence, parameters)});
}

// KeyTransRecipientInfo ::= SEQUENCE { version, rid, keyEncryptionAlgorithm, encryptedKey }
der::Bytes Entry(const RecipientPlan& plan, std::span<const std::uint8_t> wrappedKey) {
    der::Bytes algorithm = plan.delivery == KeyDelivery::RsaOaep
                               ? OaepAlgorithm(plan.oaep)
                               : der::Sequence({der::ObjectIdentifier(oid::kRsaEncryption),
                                                der::Header(tag::kNull, 0)});
    return der::Sequence({Version(0), IssuerAndSerialNumber(*plan.certificate), algorithm,
                          der::Element(tag::kOctetString, wrappedKey)});
}

// A group holds one recipient: no two share an encrypted key.
std::vector<der::Bytes> Placeholders(const EntryGroup& group) {
    const RecipientPlan& plan = group.recipients.front();
    return {Entry(plan, der::Bytes(plan.wrappedKeyBytes))};
}

Result<der::Bytes> WriteEntry(const RecipientPlan& plan, PK11SymKey* contentKey) {
    UniqueSecItem wrapped(
        SECITEM_AllocItem(nullptr, nullptr, static_cast<unsigned>(plan.wrappedKeyBytes)));
    if (!wrapped) {
        return NssFailure();
    }
    SECStatus status = SECFailure;
    if (plan.delivery == KeyDelivery::RsaOaep) {
        CK_RSA_PKCS_OAEP_PARAMS oaep{};
        oaep.hashAlg = plan.oaep.hash->mechanism;
        oaep.mgf = plan.oaep.mgfHash->mgf1;
        oaep.source = CKZ_DATA_SPECIFIED;
        std::vector<std::uint8_t> label = plan.oaep.label;
        oaep.pSourceData = label.empty() ? nullptr : label.data();
        oaep.ulSourceDataLen = label.size();
        SECItem parameters{siBuffer, reinterpret_cast<unsigned char*>(&oaep), sizeof oaep};
        status = PK11_PubWrapSymKeyWithMechanism(plan.key.get(), CKM_RSA_PKCS_OAEP, &parameters,
                                                 contentKey, wrapped.get());
    } else {
        status = PK11_PubWrapSymKey(CKM_RSA_PKCS, plan.key.get(), contentKey, wrapped.get());
    }
    if (status != SECSuccess) {
        return NssFailure();
    }
    if (wrapped->len != plan.wrappedKeyBytes) {
        return NssFailure(SEC_ERROR_LIBRARY_FAILURE);
    }
    return Entry(plan, std::span(wrapped->data, wrapped->len));
}

Result<std::vector<der::Bytes>> Write(const EntryGroup& group, PK11SymKey* contentKey) {
    ASSIGN_OR_RETURN(der::Bytes entry, WriteEntry(group.recipients.front(), contentKey));
    return std::vector<der::Bytes>{std::move(entry)};
}

// The entry's RSAES-OAEP parameters, or why they cannot be used.
void ReadOaepChoice(const std::optional<BerElement>& parameters, RecipientEntry& entry) {
    entry.oaepHash = &Sha1Facts();
    entry.mgfHash = &Sha1Facts();
    Result<OaepChoice> choice =
        ReadOaepParameters(parameters ? parameters->whole : std::span<const std::uint8_t>());
    if (!choice) {
        entry.unusable = choice.failure().text;
        return;
    }
    entry.oaepHash = choice->hash;
    entry.mgfHash = choice->mgfHash;
    entry.oaepLabel = std::move(choice->label);
}

Status Read(BerCursor fields, const RecipientEntryTaker& take) {
    RecipientEntry entry;
    entry.kind = RecipientKind::KeyTransport;
    RETURN_IF_FAILED(fields.Next(tag::kInteger));
    ASSIGN_OR_RETURN(const BerElement rid, fields.Next());
    if (rid.tag() == tag::kSequence) {
        ASSIGN_OR_RETURN(entry.id, ReadIssuerAndSerial(rid));
    } else if (rid.tag() == tag::kContextPrimitive0 || rid.tag() == tag::kContextConstructed0) {
        ASSIGN_OR_RETURN(entry.id, ReadKeyIdentifier(rid));
    } else {
        return Malformed();
    }
    ASSIGN_OR_RETURN(const BerElement algorithmElement, fields.Next(tag::kSequence));
    ASSIGN_OR_RETURN(const Algorithm algorithm, ReadAlgorithm(algorithmElement));
    ASSIGN_OR_RETURN(const Octets key, fields.OctetString(kLargestEncryptedKey));
    entry.encryptedKey = key.Copy();

    if (OidMatches(algorithm.oid, oid::kRsaEncryption)) {
        entry.algorithm = "RSA (PKCS #1 v1.5)";
    } else if (OidMatches(algorithm.oid, oid::kRsaesOaep)) {
        entry.oaep = true;
        ReadOaepChoice(algorithm.parameters, entry);
        if (entry.unusable.empty()) {
            entry.algorithm = "RSAES-OAEP with " + std::string(entry.oaepHash->name) +
                              " and MGF1 with " + std::string(entry.mgfHash->name) +
                              (entry.oaepLabel.empty() ? "" : ", with a label");
        } else {
            entry.algorithm = entry.unusable;
        }
    } else {
        entry.algorithm = "the key transport algorithm " + DottedOid(algorithm.oid);
        entry.unusable = entry.algorithm;
    }
    return take(std::move(entry));
}

std::optional<std::string> UnusableKey(const Certificate&) {
    return std::nullopt;
}

Result<UniqueSymKey> Unwrap(const RecipientEntry& entry, const Certificate&, SECKEYPrivateKey* key,
                            const ContentAlgorithmFacts& cipher, KeyAccessSession&) {
    SECItem wrapped{siBuffer, const_cast<unsigned char*>(entry.encryptedKey.data()),
                    static_cast<unsigned>(entry.encryptedKey.size())};
    // A size of 0 takes the key's own length: any other silently cuts the key.
    if (!entry.oaep) {
        return CheckedContentKey(
            PK11_PubUnwrapSymKey(key, &wrapped, PaddedMechanism(cipher), CKA_DECRYPT, 0), cipher);
    }
    // The label is the OAEP source data; NSS only reads it.
    CK_RSA_PKCS_OAEP_PARAMS parameters{
        entry.oaepHash->mechanism, entry.mgfHash->mgf1, CKZ_DATA_SPECIFIED,
        entry.oaepLabel.empty() ? nullptr : const_cast<std::uint8_t*>(entry.oaepLabel.data()),
        entry.oaepLabel.size()};
    SECItem parameterItem{siBuffer, reinterpret_cast<unsigned char*>(&parameters),
                          sizeof parameters};
    return CheckedContentKey(
        PK11_PubUnwrapSymKeyWithMechanism(key, CKM_RSA_PKCS_OAEP, &parameterItem, &wrapped,
                                          PaddedMechanism(cipher), CKA_DECRYPT, 0),
        cipher);
}

}  // namespace

const RecipientKindUnit& KeyTransportUnit() {
    static const RecipientKindUnit kUnit{RecipientKind::KeyTransport,
                                         tag::kSequence,
                                         ServesKey,
                                         Plan,
                                         nullptr,
                                         Placeholders,
                                         Write,
                                         Read,
                                         UnusableKey,
                                         Unwrap};
    return kUnit;
}

}  // namespace mirebolt::platform
