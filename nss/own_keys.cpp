#include "nss/own_keys.h"

#include <pk11pub.h>

#include "nss/nss_types.h"

namespace mirebolt::platform {

bool HeldByUser(CERTCertificate* certificate) {
    if (CERT_IsUserCert(certificate)) {
        return true;
    }
    if (CERT_IsCACert(certificate, nullptr)) {
        return false;
    }
    // On a token of a module of its own (a smart card or another device): the internal module's
    // slots are its key slot and every database opened beside it, whose keys are always seen.
    // Whether a slot calls itself hardware tells nothing: readers and software tokens alike may
    // say no.
    const UniqueSlotList slots(PK11_GetAllSlotsForCert(certificate, nullptr));
    for (PK11SlotListElement* element = slots ? slots->head : nullptr; element != nullptr;
         element = element->next) {
        if (!PK11_IsInternal(element->slot)) {
            return true;
        }
    }
    return false;
}

}  // namespace mirebolt::platform
