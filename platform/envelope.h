#pragma once

#include <cstdint>
#include <span>

#include "platform/byte_source.h"
#include "platform/certificate.h"
#include "platform/cms_algorithms.h"
#include "platform/result.h"

namespace mirebolt::platform {

// Makes one DER-encoded PKCS #7 enveloped-data message: the content encrypted under a fresh key
// with a CBC cipher of the algorithm table (AES-256-CBC or DES-EDE3-CBC in practice), that key
// wrapped with RSA (PKCS #1 v1.5) for each recipient, recipients named by issuer and serial
// number and kept in the order given.
//
// Every length is known from the content's size, so the size comes before any encryption and
// the message is written in one pass straight into the caller's buffer.
Result<std::uint64_t> EnvelopeSize(ContentAlgorithm cipher,
                                   std::span<const Certificate* const> recipients,
                                   std::uint64_t contentSize);

// Writes the message into `out`, which must hold EnvelopeSize bytes, and gives its length. The
// content is read piece by piece straight into `out` and encrypted there; on failure `out` is
// wiped, since it may hold plaintext.
Result<std::uint64_t> Envelope(ContentAlgorithm cipher,
                               std::span<const Certificate* const> recipients, ByteSource& content,
                               std::span<std::uint8_t> out);

}  // namespace mirebolt::platform
