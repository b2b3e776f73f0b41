#include <keyhi.h>

#include <string>

#include "asn1/asn1_tags.h"
#include "nss/certificate.h"
#include "nss/cms_algorithms.h"
#include "nss/public_key.h"

namespace mirebolt::platform {

std::span<const std::uint8_t> KeyAlgorithmOid(const CERTCertificate& certificate) {
    const SECItem& oid = certificate.subjectPublicKeyInfo.algorithm.algorithm;
    return {oid.data, oid.len};
}

std::span<const std::uint8_t> KeyAlgorithmParameters(const CERTCertificate& certificate) {
    const SECItem& parameters = certificate.subjectPublicKeyInfo.algorithm.parameters;
    if (parameters.data == nullptr) {
        return {};
    }
    return {parameters.data, parameters.len};
}

std::optional<std::span<const std::uint8_t>> NamedCurveOid(
    std::span<const std::uint8_t> parameters) {
    if (parameters.size() < 2 || parameters[0] != tag::kObjectIdentifier ||
        parameters[1] != parameters.size() - 2) {
        return std::nullopt;
    }
    return parameters.subspan(2);
}

std::optional<std::span<const std::uint8_t>> NamedCurveOf(const CERTCertificate& certificate) {
    if (!OidMatches(KeyAlgorithmOid(certificate), oid::kEcPublicKey)) {
        return std::nullopt;
    }
    return NamedCurveOid(KeyAlgorithmParameters(certificate));
}

UniquePublicKey RsaPublicKey(const CERTCertificate& certificate) {
    const std::span<const std::uint8_t> oid = KeyAlgorithmOid(certificate);
    if (!OidMatches(oid, oid::kRsaEncryption) && !OidMatches(oid, oid::kRsaesOaep) &&
        !OidMatches(oid, oid::kRsassaPss)) {
        return nullptr;
    }
    // The subject public key is a BIT STRING whose length NSS keeps in bits.
    SECItem bits = certificate.subjectPublicKeyInfo.subjectPublicKey;
    bits.len = (bits.len + 7) / 8;
    return UniquePublicKey(SECKEY_ImportDERPublicKey(&bits, CKK_RSA));
}

namespace {

// The curve's name from an id-ecPublicKey's parameters, which name it by object identifier.
std::string CurveName(std::span<const std::uint8_t> parameters) {
    const std::optional<std::span<const std::uint8_t>> oid = NamedCurveOid(parameters);
    if (!oid) {
        return "with explicit curve parameters";
    }
    const CurveFacts* curve = FindCurve(*oid);
    return curve != nullptr ? std::string(curve->name) : "curve " + DottedOid(*oid);
}

std::string WithBits(const char* kind, SECKEYPublicKey* key) {
    if (key == nullptr) {
        return kind;
    }
    return std::string(kind) + " " + std::to_string(SECKEY_PublicKeyStrengthInBits(key));
}

}  // namespace

std::string KeyDescription(const Certificate& certificate) {
    if (!certificate) {
        return {};
    }
    const CERTCertificate& cert = *certificate.get();
    const std::span<const std::uint8_t> oid = KeyAlgorithmOid(cert);
    if (OidMatches(oid, oid::kRsaEncryption)) {
        return WithBits("RSA", RsaPublicKey(cert).get());
    }
    if (OidMatches(oid, oid::kRsaesOaep)) {
        return WithBits("RSA-OAEP", RsaPublicKey(cert).get());
    }
    if (OidMatches(oid, oid::kRsassaPss)) {
        return WithBits("RSA-PSS", RsaPublicKey(cert).get());
    }
    if (OidMatches(oid, oid::kEcPublicKey)) {
        return "EC " + CurveName(KeyAlgorithmParameters(cert));
    }
    if (OidMatches(oid, oid::kDsa)) {
        return WithBits("DSA", UniquePublicKey(CERT_ExtractPublicKey(certificate.get())).get());
    }
    for (const auto& [dotted, name] :
         {std::pair{oid::kEd25519, "Ed25519"}, std::pair{oid::kEd448, "Ed448"},
          std::pair{oid::kX25519, "X25519"}, std::pair{oid::kX448, "X448"}}) {
        if (OidMatches(oid, dotted)) {
            return name;
        }
    }
    return "key " + DottedOid(oid);
}

}  // namespace mirebolt::platform
