#include "platform/recipient_plan.h"

#include <keyhi.h>
#include <secerr.h>

#include <optional>
#include <string>

#include "platform/asn1_tags.h"
#include "platform/ber_reader.h"
#include "platform/byte_source.h"
#include "platform/error_text.h"
#include "platform/public_key_nss.h"

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

// The hash an AlgorithmIdentifier names; its parameters, NULL or absent, say nothing more.
Result<const HashFacts*> ReadHash(BerReader& reader, const BerElement& algorithm,
                                  std::uint64_t limit) {
    BerChildren parts = reader.ChildrenOf(algorithm, limit);
    Result<std::vector<std::uint8_t>> content =
        reader.ExpectSmallChild(parts, tag::kObjectIdentifier);
    if (!content) {
        return content.failure();
    }
    return FindHash(*content);
}

// The one AlgorithmIdentifier inside an EXPLICIT tag of RSAES-OAEP-params.
Result<BerElement> Tagged(BerReader& reader, const BerElement& tagged, std::uint64_t limit) {
    BerChildren inner = reader.ChildrenOf(tagged, limit);
    return reader.ExpectChild(inner, tag::kSequence);
}

// RSAES-OAEP-params: hash [0], mask generation [1] (MGF1 with a hash) and label source [2],
// each SHA-1, MGF1 with SHA-1 and an empty label when left out.
std::optional<OaepChoice> ReadOaepParameters(std::span<const std::uint8_t> parameters) {
    MemorySource source(parameters);
    BerReader reader(source);
    const std::uint64_t limit = parameters.size();
    Result<BerElement> sequence = reader.ElementAt(0, limit);
    if (!sequence || sequence->tag != tag::kSequence) {
        return std::nullopt;
    }
    Result<std::uint64_t> end = reader.EndOf(*sequence, limit);
    if (!end || *end != limit) {
        return std::nullopt;
    }
    OaepChoice choice{&Sha1Facts(), &Sha1Facts(), {}};
    BerChildren fields = reader.ChildrenOf(*sequence, limit);
    for (;;) {
        Result<std::optional<BerElement>> field = reader.NextChild(fields);
        if (!field) {
            return std::nullopt;
        }
        if (!field->has_value()) {
            return choice;
        }
        Result<BerElement> algorithm = Tagged(reader, **field, limit);
        if (!algorithm) {
            return std::nullopt;
        }
        BerChildren parts = reader.ChildrenOf(*algorithm, limit);
        switch ((*field)->tag) {
            case tag::kContextConstructed0: {
                Result<const HashFacts*> hash = ReadHash(reader, *algorithm, limit);
                if (!hash || *hash == nullptr) {
                    return std::nullopt;
                }
                choice.hash = *hash;
                break;
            }
            case tag::kContextConstructed1: {
                Result<BerElement> oid = reader.ExpectChild(parts, tag::kObjectIdentifier);
                Result<bool> mgf1 =
                    oid ? reader.IsObjectIdentifier(*oid, oid::kMgf1) : Result<bool>(oid.failure());
                Result<BerElement> hashAlgorithm = reader.ExpectChild(parts, tag::kSequence);
                if (!mgf1 || !*mgf1 || !hashAlgorithm) {
                    return std::nullopt;
                }
                Result<const HashFacts*> hash = ReadHash(reader, *hashAlgorithm, limit);
                if (!hash || *hash == nullptr) {
                    return std::nullopt;
                }
                choice.mgfHash = *hash;
                break;
            }
            case tag::kContextConstructed2: {
                Result<BerElement> oid = reader.ExpectChild(parts, tag::kObjectIdentifier);
                Result<bool> specified = oid ? reader.IsObjectIdentifier(*oid, oid::kPSpecified)
                                             : Result<bool>(oid.failure());
                Result<BerElement> label = reader.ExpectChild(parts, tag::kOctetString);
                if (!specified || !*specified || !label) {
                    return std::nullopt;
                }
                Result<std::vector<std::uint8_t>> bytes = reader.SmallContent(*label);
                if (!bytes) {
                    return std::nullopt;
                }
                choice.label = std::move(*bytes);
                break;
            }
            default:
                return std::nullopt;
        }
    }
}

bool IsAbsentOrNull(std::span<const std::uint8_t> parameters) {
    return parameters.empty() ||
           (parameters.size() == 2 && parameters[0] == tag::kNull && parameters[1] == 0x00);
}

std::optional<OaepChoice> OaepChoiceFor(const CERTCertificate& certificate) {
    const std::span<const std::uint8_t> parameters = KeyAlgorithmParameters(certificate);
    if (IsAbsentOrNull(parameters)) {
        // A key that sets no parameters takes any: SHA-256 rather than the old SHA-1 default.
        return OaepChoice{&Sha256Facts(), &Sha256Facts(), {}};
    }
    return ReadOaepParameters(parameters);
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
