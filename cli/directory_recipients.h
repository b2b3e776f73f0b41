#pragma once

#include <string>

#include "cli/directory_source.h"
#include "feedback/feedback.h"
#include "nss/certificate_status.h"
#include "nss/personal_store.h"
#include "recipients/recipient_target.h"

namespace mirebolt::cli {

// Whether the open personal store (none: it did not open) holds a certificate that -R's name
// picks, one or several, which the store's own pick then reports: the store answers before any
// directory is asked.
bool StoreAnswersTo(const platform::PersonalStore* store, const std::string& name);

// Adds the certificates the directory holds for the address that encrypt may use, and says which
// it took and which it left out with their reasons. Unfit ones are taken only as --allow-invalid
// asks. False, after saying why, when none was taken. The trust that judges them must be open.
bool AddFromDirectory(recipients::RecipientTarget& list, DirectorySource& source,
                      const std::string& emailAddress, bool allowInvalid, bool quiet,
                      const platform::StatusChecks& checks);

}  // namespace mirebolt::cli
