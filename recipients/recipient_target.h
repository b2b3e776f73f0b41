#pragma once

#include "nss/certificate.h"
#include "nss/certificate_status.h"

namespace mirebolt::recipients {

// Where adding puts certificates: the recipient list itself, or the window's view of it, which
// must hear of every new row.
class RecipientTarget {
  public:
    virtual ~RecipientTarget() = default;
    // True when the certificate was added, with what its check found; false when an equal one
    // is already there.
    virtual bool AddRecipient(const platform::Certificate& certificate,
                              const platform::CertificateStatus& status) = 0;
};

}  // namespace mirebolt::recipients
