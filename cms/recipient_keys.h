#pragma once

#include <string>
#include <vector>

#include "base/result.h"
#include "cms/recipient_entries.h"
#include "nss/certificate.h"
#include "nss/cms_algorithms.h"
#include "nss/key_access.h"
#include "nss/nss_types.h"

namespace mirebolt::platform {

// A certificate with what recipient entries name it by.
struct KnownCertificate {
    Certificate certificate;
    std::vector<std::uint8_t> keyIdentifier;  // its extension, else the SHA-1 of its public key
    bool ownKey = false;
};

// The certificates NSS sees: the user's own (those whose private key NSS sees, and a card's
// holder's certificates, listed without any prompt), or every one.
std::vector<KnownCertificate> OwnCertificates();
std::vector<KnownCertificate> AllCertificates();

// The certificate an entry names, or null.
const KnownCertificate* FindNamed(const std::vector<KnownCertificate>& certificates,
                                  const RecipientIdentifier& id);

// How an entry names its recipient, for the person: the certificate's name where one is known,
// else issuer and serial number or the key identifier.
std::string RecipientText(const RecipientIdentifier& id,
                          const std::vector<KnownCertificate>& known);

// Recovers the content key from the first entry, in message order, whose certificate and
// private key the user holds, asking `prompt` for a password where a key needs one. A wrong or
// cancelled password ends the search with its own failure; an entry whose key does not come
// out lets the next one try.
Result<UniqueSymKey> RecoverContentKey(const std::vector<RecipientEntry>& entries,
                                       const ContentAlgorithmFacts& cipher,
                                       KeyAccessPrompt* prompt);

}  // namespace mirebolt::platform
