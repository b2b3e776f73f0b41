#pragma once

// What every kind of recipient entry shares: how it names a certificate, its algorithm
// identifiers and its version number, read and written.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "asn1/ber_cursor.h"
#include "asn1/der_writer.h"
#include "base/result.h"
#include "cms/recipient_entries.h"
#include "nss/certificate.h"

namespace mirebolt::platform {

inline std::vector<std::uint8_t> Copy(std::span<const std::uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

// IssuerAndSerialNumber ::= SEQUENCE { issuer Name, serialNumber INTEGER }
Result<RecipientIdentifier> ReadIssuerAndSerial(const BerElement& sequence);
der::Bytes IssuerAndSerialNumber(const Certificate& certificate);

// SubjectKeyIdentifier ::= OCTET STRING
Result<RecipientIdentifier> ReadKeyIdentifier(const BerElement& octets);

// AlgorithmIdentifier ::= SEQUENCE { algorithm OBJECT IDENTIFIER, parameters ANY OPTIONAL }
struct Algorithm {
    std::span<const std::uint8_t> oid;
    std::optional<BerElement> parameters;
};
Result<Algorithm> ReadAlgorithm(const BerElement& sequence);

der::Bytes Version(std::uint8_t value);

}  // namespace mirebolt::platform
