#pragma once

#include <string>

#include "feedback/feedback.h"
#include "feedback/wait_cursor.h"
#include "nss/certificate_status.h"
#include "nss/personal_store.h"
#include "recipients/certificate_picker.h"
#include "recipients/recipient_target.h"

namespace mirebolt::recipients {

// What adding did, for callers that report it on (the command line's exit status).
struct AddOutcome {
    int added = 0;
    int refused = 0;      // already on the list: each one warned about
    bool failed = false;  // no certificates could be read, or the store would not open
    Failure why;          // why, when failed
};

// How certificates are checked as they are added: the personal store whose roots and CRLs
// judge their paths (none: nothing is trusted), and whether to ask their OCSP responders.
struct RecipientChecks {
    std::string storeDirectory;
    platform::StatusChecks status;
    // That store already open, for a caller that adds from many files in a row: opening it
    // anew for each file costs more than checking a certificate. It stays the caller's.
    const platform::PersonalStore* openStore = nullptr;
    // Whether a file that yields no certificate is warned about here, in the window's words;
    // the command line names the file and the system's reason itself, from AddOutcome::why.
    bool warnsOfUnreadableFile = true;
};

// Adds every certificate the file yields, in the file's order, each with what its check found;
// each one already listed is refused with its own warning. A file that yields nothing at all is
// warned about once. A store that does not open only leaves the paths unjudged.
AddOutcome AddRecipientsFromFile(RecipientTarget& list, const std::string& path,
                                 feedback::Feedback& feedback, feedback::BusyIndicator& busy,
                                 const RecipientChecks& checks = {});

// Opens the personal store, lets the picker choose one certificate, checks it and adds it.
AddOutcome AddRecipientFromStore(RecipientTarget& list, const std::string& storeDirectory,
                                 CertificatePicker& picker, feedback::Feedback& feedback,
                                 feedback::BusyIndicator& busy,
                                 const platform::StatusChecks& checks = {});

}  // namespace mirebolt::recipients
