#include "nss/own_keys.h"

#include <pk11pub.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace mirebolt::platform {

namespace {

struct SlotListRelease {
    void operator()(PK11SlotList* list) const { PK11_FreeSlotList(list); }
};
using UniqueSlotList = std::unique_ptr<PK11SlotList, SlotListRelease>;

// The slots whose tokens hold the certificate. The list is ours alone, so it is walked without
// NSS's locking; the slots are borrowed from it.
class SlotsOf {
  public:
    explicit SlotsOf(CERTCertificate* certificate)
        : list_(PK11_GetAllSlotsForCert(certificate, nullptr)) {
        if (list_) {
            for (PK11SlotListElement* element = list_->head; element != nullptr;
                 element = element->next) {
                slots_.push_back(element->slot);
            }
        }
    }

    const std::vector<PK11SlotInfo*>& slots() const { return slots_; }

  private:
    UniqueSlotList list_;
    std::vector<PK11SlotInfo*> slots_;
};

// A token of a module of its own (a smart card or another device), as opposed to NSS's own
// databases, whose keys are always seen.
bool IsCardSlot(PK11SlotInfo* slot) {
    // The internal module's slots are its key slot and every database opened beside it. Whether a
    // slot calls itself hardware tells nothing: readers and software tokens alike may say no.
    return slot != nullptr && !PK11_IsInternal(slot);
}

}  // namespace

bool HeldByUser(CERTCertificate* certificate) {
    if (CERT_IsUserCert(certificate)) {
        return true;
    }
    if (CERT_IsCACert(certificate, nullptr)) {
        return false;
    }
    const SlotsOf holders(certificate);
    return std::any_of(holders.slots().begin(), holders.slots().end(), IsCardSlot);
}

}  // namespace mirebolt::platform
