#pragma once

#include <string>

#include "feedback/feedback.h"
#include "feedback/wait_cursor.h"
#include "recipients/certificate_picker.h"
#include "recipients/recipient_target.h"

namespace mirebolt::recipients {

// What adding did, for callers that report it on (the command line's exit status).
struct AddOutcome {
    int added = 0;
    int refused = 0;      // already on the list: each one warned about
    bool failed = false;  // no certificates could be read, or the store would not open
};

// Adds every certificate the file yields, in the file's order; each one already listed is
// refused with its own warning. A file that yields nothing at all is warned about once.
AddOutcome AddRecipientsFromFile(RecipientTarget& list, const std::string& path,
                                 feedback::Feedback& feedback, feedback::BusyIndicator& busy);

// Opens the personal store, lets the picker choose one certificate and adds it.
AddOutcome AddRecipientFromStore(RecipientTarget& list, const std::string& storeDirectory,
                                 CertificatePicker& picker, feedback::Feedback& feedback,
                                 feedback::BusyIndicator& busy);

}  // namespace mirebolt::recipients
