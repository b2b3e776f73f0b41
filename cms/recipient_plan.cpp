#include "cms/recipient_plan.h"

#include <keyhi.h>
#include <secerr.h>

#include <optional>
#include <string>

#include "asn1/asn1_tags.h"
#include "base/byte_source.h"
#include "nss/error_text.h"
#include "nss/public_key.h"

namespace mirebolt::platform {

namespace {

Failure CannotReceive(const Certificate& certificate) {
    return NssFailure(SEC_ERROR_UNSUPPORTED_KEYALG,
                      "The certificate \"" + SubjectDisplayName(certificate) + "\" issued by \"" +
                          IssuerDisplayName(certificate) + "\" has a key of type " +
                          KeyDescription(certificate) +
                          ", which cannot receive encrypted content. Recipients need RSA keys or "
                          "EC keys on the curves P-256, P-384 or P-521.");
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

}  // namespace

Result<RecipientPlan> PlanRecipient(const Certificate& certificate,
                                    const ContentAlgorithmFacts& cipher) {
    if (!certificate) {
        return NssFailure(SEC_ERROR_INVALID_ARGS);
    }
    const CERTCertificate& cert = *certificate.get();
    const std::span<const std::uint8_t> algorithm = KeyAlgorithmOid(cert);
    RecipientPlan plan;
    plan.certificate = &certificate;

    if (OidMatches(algorithm, oid::kRsaEncryption) || OidMatches(algorithm, oid::kRsaesOaep)) {
        plan.key = RsaPublicKey(cert);
        const unsigned modulusBytes = plan.key ? SECKEY_PublicKeyStrength(plan.key.get()) : 0;
        if (modulusBytes == 0) {
            return CannotReceive(certificate);
        }
        plan.wrappedKeyBytes = modulusBytes;
        if (OidMatches(algorithm, oid::kRsaesOaep)) {
            std::optional<OaepChoice> oaep = OaepChoiceFor(cert);
            if (!oaep || oaep->hash == nullptr || oaep->mgfHash == nullptr) {
                return CannotReceive(certificate);
            }
            plan.delivery = KeyDelivery::RsaOaep;
            plan.oaep = std::move(*oaep);
        }
        return plan;
    }

    if (OidMatches(algorithm, oid::kEcPublicKey)) {
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
    return CannotReceive(certificate);
}

}  // namespace mirebolt::platform
