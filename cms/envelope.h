#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "base/byte_stream.h"
#include "base/result.h"
#include "nss/certificate.h"
#include "nss/cms_algorithms.h"

namespace mirebolt::platform {

// Makes one DER-encoded PKCS #7 enveloped-data message: the content encrypted under a fresh key
// with a CBC cipher of the algorithm table (AES-256-CBC or DES-EDE3-CBC in practice), or an
// authenticated-enveloped-data message (RFC 5083) with AES-GCM, a 12-byte nonce and a 16-byte
// tag, no attributes; that key given to each recipient, each named by issuer and serial number:
//  - an RSA key gets it wrapped with PKCS #1 v1.5, or with RSAES-OAEP when the certificate marks
//    the key for OAEP only, in an entry of its own;
//  - an EC key on one of P-256, P-384 or P-521 gets a key-agreement entry of its own:
//    ephemeral-static ECDH, the X9.63 KDF over SHA-256, -384 or -512 and the key wrapped with
//    AES-256 key wrap; the entries of one curve share one ephemeral key and one random user
//    keying material, but each entry holds one key, since some readers unwrap only the first.
// The entries stand in DER's order of a SET, not in the recipients' order (no reader gives that
// order a meaning, and strict readers refuse any other). Any other key fails, with a text
// naming the certificate and its key. The message is version 2 when it holds a key-agreement
// entry, else version 0 (authenticated enveloped data: always 0).
//
// Every length is known from the content's size, so the size comes before any encryption.
Result<std::uint64_t> EnvelopeSize(ContentAlgorithm cipher,
                                   std::span<const Certificate* const> recipients,
                                   std::uint64_t contentSize);

// Writes the message, reading the content from a stream in pieces of about 1 MiB held in a
// private buffer, into a sink; gives the number of bytes written. With `contentSize` it is the
// DER message of EnvelopeSize bytes, and fails as the input's failure when the stream is shorter
// or longer than that. Without it, the message is BER with indefinite
// lengths and the encrypted content a constructed OCTET STRING of chunks. After a failure the
// sink holds part of a message, which the caller discards.
Result<std::uint64_t> EnvelopeStream(ContentAlgorithm cipher,
                                     std::span<const Certificate* const> recipients,
                                     ByteStream& content, std::optional<std::uint64_t> contentSize,
                                     ByteSink& out);

}  // namespace mirebolt::platform
