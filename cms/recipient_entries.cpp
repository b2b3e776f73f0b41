#include "cms/recipient_entries.h"

#include "asn1/asn1_tags.h"
#include "cms/recipient_kind.h"

namespace mirebolt::platform {

namespace {

RecipientEntry OtherKind(RecipientKind kind, std::string algorithm) {
    RecipientEntry entry;
    entry.kind = kind;
    entry.algorithm = std::move(algorithm);
    entry.unusable = entry.algorithm;
    return entry;
}

}  // namespace

Status ParseRecipientInfo(std::uint8_t identifier, BerCursor fields,
                          const RecipientEntryTaker& take) {
    for (const RecipientKindUnit* unit : RecipientKindUnits()) {
        if (unit->tag == identifier) {
            return unit->read(fields, take);
        }
    }
    switch (identifier) {
        case tag::kContextConstructed2:
            return take(OtherKind(RecipientKind::KeyEncryptionKey,
                                  "a key-encryption key agreed in advance"));
        case tag::kContextConstructed3:
            return take(OtherKind(RecipientKind::Password, "a key derived from a password"));
        default:
            return take(
                OtherKind(RecipientKind::Other, "a kind of entry this program does not know"));
    }
}

std::string UnusableKindText(const RecipientEntry& entry) {
    switch (entry.kind) {
        case RecipientKind::Password:
            return "The message was encrypted with a password, which this program cannot use.";
        case RecipientKind::KeyEncryptionKey:
            return "The message was encrypted with a shared secret key, which this program "
                   "cannot use.";
        case RecipientKind::Other:
            return "The message holds a kind of recipient entry that this program cannot use.";
        default:
            return "The message was encrypted for a recipient with " + entry.unusable +
                   ", which this program cannot use.";
    }
}
}  // namespace mirebolt::platform
