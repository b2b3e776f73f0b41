#pragma once

#include <optional>
#include <string>

#include "nss/certificate.h"
#include "nss/personal_store.h"

namespace mirebolt::recipients {

// Lets the person choose one certificate of the personal store: the window's picker dialog,
// the command line's name, address or fingerprint. Nothing when the person cancels.
class CertificatePicker {
  public:
    virtual ~CertificatePicker() = default;
    virtual std::optional<platform::Certificate> Pick(const platform::PersonalStore& store,
                                                      const std::string& displayString) = 0;
};

}  // namespace mirebolt::recipients
