#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"
#include "nss/certificate.h"

namespace mirebolt::platform {

// Every certificate a certificate file yields, in file order: a DER certificate, PEM with one
// or several certificates, or a PKCS #7 certificate bundle in DER or PEM. A file that yields
// nothing at all (random bytes, an empty or a text file) fails with SEC_ERROR_BAD_DER; a bundle
// that holds no certificate gives an empty list.
Result<std::vector<Certificate>> ReadCertificateFile(const std::string& path);

// The same for bytes already in memory.
Result<std::vector<Certificate>> DecodeCertificates(std::span<const std::uint8_t> bytes);

}  // namespace mirebolt::platform
