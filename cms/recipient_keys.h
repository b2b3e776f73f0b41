#pragma once

#include <cstdint>
#include <functional>
#include <optional>
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

// The entries of a message for the holder's certificates, gathered as the message is read, and
// the content key recovered from them at a bounded cost. A writer makes one entry for each
// recipient; anyone can add entries naming a certificate, each costing its holder a
// private-key operation (a fifth of a second for a 16384-bit RSA key) and each able to yield a
// key that is not the content's. So at most kTriesPerCertificate entries of one certificate
// are tried, room for a recipient listed twice and a few strays, and kTriesPerMessage in all,
// room for a holder of four certificates; each certificate's key is also asked once whether
// it answers at all when an entry fails. Past the bound the search fails and says so.
class ContentKeySearch {
  public:
    static constexpr std::size_t kTriesPerCertificate = 4;
    static constexpr std::size_t kTriesPerMessage = 16;

    // Whether a content key decrypts the message's content: nothing when it does, else the
    // content's own failure (bad padding, a tag that does not match). A failure of the check
    // itself (the input's, the message's) ends the search.
    using ContentCheck = std::function<Result<std::optional<Failure>>(PK11SymKey* key)>;

    ContentKeySearch();

    // An entry of the message, in message order. Only what the search needs is kept: the
    // entries that name the holder's certificates, up to the bound, and what the failure's
    // text names.
    void Consider(RecipientEntry entry);

    // Tries the entries kept, in message order, asking `prompt` for a password where a key
    // needs one; a wrong or cancelled password ends the search with its own failure. With
    // `decrypts` (the content can be read again), a key that unwraps is taken only when it
    // decrypts the content or no other entry is left to try; without, the first that unwraps.
    Result<UniqueSymKey> Recover(const ContentAlgorithmFacts& cipher, KeyAccessPrompt* prompt,
                                 const ContentCheck* decrypts);

  private:
    struct Candidate {
        RecipientEntry entry;
        std::size_t certificate;  // in own_
    };

    Failure NotARecipient() const;
    Failure TooManyEntries() const;

    std::vector<KnownCertificate> own_;
    std::vector<Candidate> candidates_;
    std::vector<std::uint64_t> passedOver_;   // per certificate: its entries beyond the bound
    std::vector<std::string> ownProblems_;    // why an entry for the holder cannot be used
    std::vector<RecipientIdentifier> named_;  // the first recipients, for the text
    std::uint64_t namedCount_ = 0;
    std::vector<std::string> reasons_;  // why entries cannot be used, each once
};

}  // namespace mirebolt::platform
