#pragma once

// A kind of recipient entry, whole: how a certificate's key is planned for, how its entry is
// written and read, and how the content key comes out of it again. Each kind is one unit
// (key_transport.cpp, key_agreement.cpp) and one row of the table here; a new kind is one more.

#include <pk11pub.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "asn1/ber_cursor.h"
#include "asn1/der_writer.h"
#include "base/result.h"
#include "cms/recipient_entries.h"
#include "cms/recipient_plan.h"
#include "nss/certificate.h"
#include "nss/cms_algorithms.h"
#include "nss/key_access.h"
#include "nss/nss_types.h"

namespace mirebolt::platform {

struct RecipientKindUnit {
    RecipientKind kind;
    std::uint8_t tag;  // its RecipientInfo's identifier octet
    // Whether the unit serves keys of this algorithm (a certificate's SubjectPublicKeyInfo).
    bool (*servesKey)(std::span<const std::uint8_t> keyAlgorithm);
    Result<RecipientPlan> (*plan)(const Certificate& certificate,
                                  const ContentAlgorithmFacts& cipher);
    // Whether `next` joins the group begun by `first` (for key agreement: shares its ephemeral
    // key); null where every recipient stands alone.
    bool (*joinsGroup)(const RecipientPlan& first, const RecipientPlan& next);
    // The group's entries, one per recipient, with zeros in place of what is random: each
    // exactly as long as the real one, so that sizes are known before any key exists.
    std::vector<der::Bytes> (*placeholders)(const EntryGroup& group);
    Result<std::vector<der::Bytes>> (*write)(const EntryGroup& group, PK11SymKey* contentKey);
    // The entries of one RecipientInfo of this kind, from its fields, each to `take`.
    Status (*read)(BerCursor fields, const RecipientEntryTaker& take);
    // Why the holder's own certificate cannot take an entry of this kind; nothing when it can.
    std::optional<std::string> (*unusableKey)(const Certificate& mine);
    Result<UniqueSymKey> (*unwrap)(const RecipientEntry& entry, const Certificate& mine,
                                   SECKEYPrivateKey* key, const ContentAlgorithmFacts& cipher,
                                   KeyAccessSession& session);
};

// The kinds this program writes and reads, and the one for an entry or a tag.
std::span<const RecipientKindUnit* const> RecipientKindUnits();
const RecipientKindUnit* UnitForKind(RecipientKind kind);

// A planned group's entries: their placeholders, and the entries carrying `contentKey`.
std::vector<der::Bytes> PlaceholderRecipientInfos(const EntryGroup& group);
Result<std::vector<der::Bytes>> RecipientInfos(const EntryGroup& group, PK11SymKey* contentKey);

// Shared by the units: a certificate whose key cannot receive content, and an unwrapped key
// checked for the cipher's length.
Failure CannotReceive(const Certificate& certificate);
Result<UniqueSymKey> CheckedContentKey(PK11SymKey* key, const ContentAlgorithmFacts& cipher);

}  // namespace mirebolt::platform
