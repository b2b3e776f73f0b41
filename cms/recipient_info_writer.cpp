#include "cms/recipient_info_writer.h"

#include <secerr.h>

#include <array>

#include "asn1/asn1_tags.h"
#include "cms/key_agreement.h"
#include "nss/cms_algorithms.h"
#include "nss/error_text.h"
#include "nss/nss_types.h"

namespace mirebolt::platform {

namespace {

constexpr std::uint8_t kKeyAgreeRecipientInfoTag = 0xA1;  // [1] IMPLICIT
constexpr std::uint8_t kOriginatorTag = 0xA0;             // [0] EXPLICIT
constexpr std::uint8_t kOriginatorKeyTag = 0xA1;          // [1] IMPLICIT
constexpr std::uint8_t kHashTag = tag::kContextConstructed0;
constexpr std::uint8_t kMaskGenTag = tag::kContextConstructed1;
constexpr std::uint8_t kLabelSourceTag = tag::kContextConstructed2;

der::Bytes Integer(std::uint8_t value) {
    return der::Element(tag::kInteger, std::array<std::uint8_t, 1>{value});
}

der::Bytes IssuerAndSerialNumber(const Certificate& certificate) {
    const CERTCertificate* cert = certificate.get();
    der::Bytes issuer(cert->derIssuer.data, cert->derIssuer.data + cert->derIssuer.len);
    return der::Sequence({issuer, der::Element(tag::kInteger, std::span(cert->serialNumber.data,
                                                                        cert->serialNumber.len))});
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

der::Bytes KeyTransport(const RecipientPlan& plan, std::span<const std::uint8_t> wrappedKey) {
    der::Bytes algorithm = plan.delivery == KeyDelivery::RsaOaep
                               ? OaepAlgorithm(plan.oaep)
                               : der::Sequence({der::ObjectIdentifier(oid::kRsaEncryption),
                                                der::Header(tag::kNull, 0)});
    return der::Sequence({Integer(0), IssuerAndSerialNumber(*plan.certificate), algorithm,
                          der::Element(tag::kOctetString, wrappedKey)});
}

// KeyAgreeRecipientInfo, version 3: the ephemeral key as the originator (its curve is the
// recipient's, so the algorithm's parameters are left out), no user keying material.
der::Bytes KeyAgreement(const RecipientPlan& plan, std::span<const std::uint8_t> point,
                        std::span<const std::uint8_t> wrappedKey) {
    der::Bytes bits{0};  // no unused bits
    der::Append(bits, point);
    der::Bytes originatorKey = der::Sequence({der::ObjectIdentifier(oid::kEcPublicKey)});
    der::Append(originatorKey, der::Element(tag::kBitString, bits));
    der::Bytes originator =
        der::Element(kOriginatorTag, der::Element(kOriginatorKeyTag, originatorKey));
    der::Bytes algorithm =
        der::Sequence({der::ObjectIdentifier(plan.agreement.scheme->oid),
                       der::Sequence({der::ObjectIdentifier(plan.agreement.wrap->oid)})});
    der::Bytes encryptedKeys = der::Sequence({der::Sequence(
        {IssuerAndSerialNumber(*plan.certificate), der::Element(tag::kOctetString, wrappedKey)})});
    der::Bytes content = Integer(3);
    der::Append(content, originator);
    der::Append(content, algorithm);
    der::Append(content, encryptedKeys);
    return der::Element(kKeyAgreeRecipientInfoTag, content);
}

Result<der::Bytes> KeyTransportFor(const RecipientPlan& plan, PK11SymKey* contentKey) {
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
    return KeyTransport(plan, std::span(wrapped->data, wrapped->len));
}

}  // namespace

der::Bytes PlaceholderRecipientInfo(const RecipientPlan& plan) {
    const der::Bytes wrappedKey(plan.wrappedKeyBytes);
    if (plan.delivery == KeyDelivery::KeyAgreement) {
        return KeyAgreement(plan, der::Bytes(plan.agreement.pointBytes), wrappedKey);
    }
    return KeyTransport(plan, wrappedKey);
}

Result<der::Bytes> RecipientInfo(const RecipientPlan& plan, PK11SymKey* contentKey) {
    if (plan.delivery != KeyDelivery::KeyAgreement) {
        return KeyTransportFor(plan, contentKey);
    }
    ASSIGN_OR_RETURN(AgreedKey agreed, AgreeAndWrap(plan, contentKey));
    return KeyAgreement(plan, agreed.ephemeralPoint, agreed.wrappedKey);
}

}  // namespace mirebolt::platform
