#pragma once

#include <cstdio>

#include "feedback/feedback.h"
#include "nss/certificate.h"
#include "nss/certificate_status.h"
#include "nss/personal_store.h"

namespace mirebolt::cli {

// Writes one certificate's particulars, one to a line, with what its check found; `ownKey` is
// left out when unknown. The store whose trust judges the certificate must be open.
void PrintCertificate(std::FILE* out, const platform::Certificate& certificate, const bool* ownKey,
                      const platform::StatusChecks& checks);

// The same for a certificate of the personal store, with the token that holds it, if any.
void PrintStoreCertificate(std::FILE* out, const platform::StoreCertificate& entry,
                           const platform::StatusChecks& checks);

// Warns of each module that the store registers but that could not be loaded, so that the
// person knows why its certificates are missing.
void WarnOfUnloadedModules(const platform::PersonalStore& store, feedback::Feedback& feedback);

}  // namespace mirebolt::cli
