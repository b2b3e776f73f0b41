#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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

// What every recipient of one key-agreement entry shares, held once for all of them: a crafted
// entry may name thousands of recipients beside a large originator key.
struct KeyAgreementShared {
    std::vector<std::uint8_t> originatorKey;  // the ephemeral public point
    std::optional<std::vector<std::uint8_t>> userKeyingMaterial;
    // The key wrap's parameters as the entry gives them (their whole element; empty when
    // absent), which the key derivation repeats.
    std::vector<std::uint8_t> wrapParameters;
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
    std::shared_ptr<const KeyAgreementShared> agreement;
};

// Where the entries of a RecipientInfo go, one by one as they are read, so that the many a
// key-agreement entry may name are never all held at once.
using RecipientEntryTaker = std::function<Status(RecipientEntry entry)>;

// The entries of one RecipientInfo, given by its tag (which tells the kind) and its fields, to
// `take`. Kinds this program cannot use come with `unusable` set rather than as failures, so
// that they never stop another entry.
Status ParseRecipientInfo(std::uint8_t identifier, BerCursor fields,
                          const RecipientEntryTaker& take);

// The sentence that says why no entry of this kind can be used.
std::string UnusableKindText(const RecipientEntry& entry);

}  // namespace mirebolt::platform
