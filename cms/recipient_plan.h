#pragma once

// How the content key will reach each recipient, and which recipients share an ephemeral key,
// settled from the certificates before any key exists, so that the size of every entry is known
// up front.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/result.h"
#include "cms/oaep_parameters.h"
#include "nss/certificate.h"
#include "nss/cms_algorithms.h"
#include "nss/nss_types.h"

namespace mirebolt::platform {

struct RecipientKindUnit;

// How the content key reaches one recipient of a message we write.
enum class KeyDelivery {
    RsaPkcs1,      // key transport, RSA PKCS #1 v1.5: every ordinary RSA certificate
    RsaOaep,       // key transport, RSAES-OAEP: certificates whose key is marked for it
    KeyAgreement,  // ephemeral-static ECDH, the key wrapped with AES
};

struct KeyAgreementChoice {
    const KdfSchemeFacts* scheme = nullptr;
    const KeyWrapFacts* wrap = nullptr;
    std::size_t pointBytes = 0;  // the uncompressed point on the recipient's curve
};

struct RecipientPlan {
    const RecipientKindUnit* unit = nullptr;  // the kind of entry that carries the key
    const Certificate* certificate = nullptr;
    KeyDelivery delivery = KeyDelivery::RsaPkcs1;
    UniquePublicKey key;
    std::size_t wrappedKeyBytes = 0;
    OaepChoice oaep;
    KeyAgreementChoice agreement;
};

// Recipients of a message we write whose entries are made together, in the order they were
// given: a key-transport group holds one recipient, a key-agreement group every recipient on
// its curve, who share one ephemeral key and keying material. Each recipient still gets a
// RecipientInfo of its own, since some readers take only the first key of an entry.
struct EntryGroup {
    const RecipientKindUnit* unit = nullptr;
    std::vector<RecipientPlan> recipients;
};

// The plan for one recipient of content encrypted with `cipher`; fails with a text naming the
// certificate and its key when that key cannot receive content.
Result<RecipientPlan> PlanRecipient(const Certificate& certificate,
                                    const ContentAlgorithmFacts& cipher);

// The groups for all recipients, each planned in the order given (the first that cannot
// receive content fails the whole), each recipient gathered into the first group it joins.
// The groups stand in the order of their first recipients.
Result<std::vector<EntryGroup>> PlanEntryGroups(std::span<const Certificate* const> recipients,
                                                const ContentAlgorithmFacts& cipher);

}  // namespace mirebolt::platform
