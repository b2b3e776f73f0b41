#include "cms/recipient_kind.h"

#include <secerr.h>

#include <algorithm>
#include <array>

#include "cms/key_agreement.h"
#include "cms/key_transport.h"
#include "cms/open_failures.h"
#include "nss/error_text.h"
#include "nss/public_key.h"

namespace mirebolt::platform {

std::span<const RecipientKindUnit* const> RecipientKindUnits() {
    static const std::array<const RecipientKindUnit*, 2> kUnits = {&KeyTransportUnit(),
                                                                   &KeyAgreementUnit()};
    return kUnits;
}

const RecipientKindUnit* UnitForKind(RecipientKind kind) {
    for (const RecipientKindUnit* unit : RecipientKindUnits()) {
        if (unit->kind == kind) {
            return unit;
        }
    }
    return nullptr;
}

Result<RecipientPlan> PlanRecipient(const Certificate& certificate,
                                    const ContentAlgorithmFacts& cipher) {
    if (!certificate) {
        return NssFailure(SEC_ERROR_INVALID_ARGS);
    }
    const std::span<const std::uint8_t> algorithm = KeyAlgorithmOid(*certificate.get());
    for (const RecipientKindUnit* unit : RecipientKindUnits()) {
        if (unit->servesKey(algorithm)) {
            ASSIGN_OR_RETURN(RecipientPlan plan, unit->plan(certificate, cipher));
            plan.unit = unit;
            plan.certificate = &certificate;
            return plan;
        }
    }
    return CannotReceive(certificate);
}

Result<std::vector<EntryGroup>> PlanEntryGroups(std::span<const Certificate* const> recipients,
                                                const ContentAlgorithmFacts& cipher) {
    if (recipients.empty()) {
        return NssFailure(SEC_ERROR_INVALID_ARGS);
    }
    std::vector<EntryGroup> groups;
    for (const Certificate* certificate : recipients) {
        if (certificate == nullptr || !*certificate) {
            return NssFailure(SEC_ERROR_INVALID_ARGS);
        }
        ASSIGN_OR_RETURN(RecipientPlan plan, PlanRecipient(*certificate, cipher));
        const auto joined = std::find_if(groups.begin(), groups.end(), [&](const EntryGroup& g) {
            return g.unit == plan.unit && plan.unit->joinsGroup != nullptr &&
                   plan.unit->joinsGroup(g.recipients.front(), plan);
        });
        if (joined != groups.end()) {
            joined->recipients.push_back(std::move(plan));
        } else {
            EntryGroup group{plan.unit, {}};
            group.recipients.push_back(std::move(plan));
            groups.push_back(std::move(group));
        }
    }
    return groups;
}

std::vector<der::Bytes> PlaceholderRecipientInfos(const EntryGroup& group) {
    return group.unit->placeholders(group);
}

Result<std::vector<der::Bytes>> RecipientInfos(const EntryGroup& group, PK11SymKey* contentKey) {
    return group.unit->write(group, contentKey);
}

Failure CannotReceive(const Certificate& certificate) {
    return NssFailure(SEC_ERROR_UNSUPPORTED_KEYALG,
                      "The certificate \"" + SubjectDisplayName(certificate) + "\" issued by \"" +
                          IssuerDisplayName(certificate) + "\" has a key of type " +
                          KeyDescription(certificate) +
                          ", which cannot receive encrypted content. Recipients need RSA keys or "
                          "EC keys on the curves P-256, P-384 or P-521.");
}

Result<UniqueSymKey> CheckedContentKey(PK11SymKey* key, const ContentAlgorithmFacts& cipher) {
    UniqueSymKey owned(key);
    if (!owned) {
        return KeyNotUnwrapped();
    }
    // A smart card may not tell the length of a key it unwrapped (SoftHSM2 does not): such a
    // key stays on the card, where a wrong length fails the content's decryption instead.
    const unsigned length = PK11_GetKeyLength(owned.get());
    if (length != 0 && length != cipher.keyBytes) {
        return KeyNotUnwrapped();
    }
    return owned;
}

}  // namespace mirebolt::platform
