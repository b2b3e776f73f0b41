#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "asn1/ber_cursor.h"
#include "base/result.h"
#include "nss/cms_algorithms.h"

namespace mirebolt::platform {

enum class RecipientKind { KeyTransport, KeyAgreement, KeyEncryptionKey, Password, Other };

// How an entry names the certificate it was made for.
struct RecipientIdentifier {
    bool byKeyIdentifier = false;
    std::vector<std::uint8_t> issuer;  // the issuer's DER name
    std::vector<std::uint8_t> serial;  // the serial number's content octets
    std::vector<std::uint8_t> keyIdentifier;
};

// One recipient entry of a message, as far as this program understands it. An entry for key
// agreement that names several recipients gives one entry each.
struct RecipientEntry {
    RecipientKind kind = RecipientKind::Other;
    RecipientIdentifier id;
    std::string algorithm;  // for the person: "RSAES-OAEP with SHA-256"
    std::string unusable;   // why this program cannot use the entry; empty when it can
    std::vector<std::uint8_t> encryptedKey;

    // Key transport with RSA.
    bool oaep = false;
    const HashFacts* oaepHash = nullptr;
    const HashFacts* mgfHash = nullptr;
    std::vector<std::uint8_t> oaepLabel;

    // Key agreement with ECDH.
    const KdfSchemeFacts* kdf = nullptr;
    const KeyWrapFacts* wrap = nullptr;
    std::vector<std::uint8_t> originatorKey;  // the ephemeral public point
    std::optional<std::vector<std::uint8_t>> userKeyingMaterial;
};

// The entries of one RecipientInfo, given by its tag (which tells the kind) and its fields.
// Kinds this program cannot use come back with `unusable` set rather than as failures, so that
// they never stop another entry.
Result<std::vector<RecipientEntry>> ParseRecipientInfo(std::uint8_t identifier, BerCursor fields);

// The sentence that says why no entry of this kind can be used.
std::string UnusableKindText(const RecipientEntry& entry);

}  // namespace mirebolt::platform
