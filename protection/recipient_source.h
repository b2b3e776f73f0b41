#pragma once

#include "platform/certificate.h"

namespace mirebolt::protection {

// The recipients as Encrypt reads them: a count and each row's certificate, borrowed.
class RecipientSource {
  public:
    virtual ~RecipientSource() = default;
    virtual int RecipientCount() const = 0;
    // Null when the row holds none.
    virtual const platform::Certificate* RecipientCertificate(int row) const = 0;
};

}  // namespace mirebolt::protection
