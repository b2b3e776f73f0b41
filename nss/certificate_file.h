#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"
#include "nss/certificate.h"

namespace mirebolt::platform {

// The most certificates taken from one file: far above any real bundle (a system's whole set of
// trusted roots holds about 150), and few enough that NSS, whose lookup of the certificates of
// one subject grows with their number, takes them all in a fraction of a second.
inline constexpr std::size_t kMostCertificatesPerFile = 1000;

// Every certificate a certificate file yields, in file order, up to kMostCertificatesPerFile: a
// DER certificate, PEM with one or several certificates (after any text), or a PKCS #7
// certificate bundle in DER or PEM. A file that yields nothing at all (random bytes, an empty or
// a text file) fails with SEC_ERROR_BAD_DER; a bundle that holds no certificate gives an empty
// list. `skipped`, when given, receives how many certificates beyond the limit were left out.
Result<std::vector<Certificate>> ReadCertificateFile(const std::string& path,
                                                     std::size_t* skipped = nullptr);

// The same for bytes already in memory.
Result<std::vector<Certificate>> DecodeCertificates(std::span<const std::uint8_t> bytes,
                                                    std::size_t* skipped = nullptr);

// The warning that a file's certificates beyond the limit, `skipped` of them, were left out.
std::string SkippedCertificatesWarning(std::size_t skipped);

}  // namespace mirebolt::platform
