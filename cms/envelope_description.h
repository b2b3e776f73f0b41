#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "base/result.h"
#include "nss/personal_store.h"

namespace mirebolt::platform {

// One recipient entry of a message, as `info` shows it.
struct RecipientDescription {
    std::string kind;             // "key transport", "key agreement", "password", ...
    std::string keyAlgorithm;     // "RSA (PKCS #1 v1.5)", "ECDH (...)"
    std::string identifier;       // issuer and serial number, or the key identifier; may be empty
    std::string certificateName;  // the matching certificate's name when the store holds it
    Certificate certificate;      // that certificate, for its status
    bool own = false;             // the store holds its private key too
    bool usable = true;           // this program can use the entry
};

// What a message is, told without decrypting anything or asking for a password.
struct EnvelopeDescription {
    std::string form;    // "DER", "BER", "PEM", "S/MIME"
    std::string type;    // "enveloped data", "authenticated enveloped data"
    std::string cipher;  // "AES-256-CBC"
    std::uint64_t encryptedBytes = 0;
    std::uint64_t recipientCount = 0;  // all of them; only the first ones are described
    std::vector<RecipientDescription> recipients;
};

// Reads the whole message, as opening it would, but passes over its content. The store must
// stay open for the call: its certificates name the recipients.
Result<EnvelopeDescription> DescribeEnvelope(ByteSource& message, const PersonalStore& store);

}  // namespace mirebolt::platform
