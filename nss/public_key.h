#pragma once

// What the platform layer reads from a certificate's public key, in NSS's terms.

#include <cert.h>

#include <cstdint>
#include <optional>
#include <span>

#include "nss/nss_types.h"

namespace mirebolt::platform {

// The identifier and the parameters (the whole DER element, empty when absent) of the key's
// algorithm, and the key's bits.
std::span<const std::uint8_t> KeyAlgorithmOid(const CERTCertificate& certificate);
std::span<const std::uint8_t> KeyAlgorithmParameters(const CERTCertificate& certificate);

// The curve's object identifier (its content octets) from the parameters of an EC key, which
// name the curve so; nothing for explicit curve parameters or anything else.
std::optional<std::span<const std::uint8_t>> NamedCurveOid(
    std::span<const std::uint8_t> parameters);

// The curve's object identifier of a certificate whose key is an EC key on a named curve.
std::optional<std::span<const std::uint8_t>> NamedCurveOf(const CERTCertificate& certificate);

// The RSA public key of a certificate whose key is marked for any RSA scheme (PKCS #1,
// RSAES-OAEP, RSASSA-PSS); null for other keys. NSS extracts no key from a certificate marked for
// RSAES-OAEP, so the key is read from the subject public key itself.
UniquePublicKey RsaPublicKey(const CERTCertificate& certificate);

}  // namespace mirebolt::platform
