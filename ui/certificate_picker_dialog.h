#pragma once

#include "recipients/certificate_picker.h"
#include "ui/qt_ports.h"

namespace mirebolt::ui {

// The program's own picker over the personal store: the certificates, the user's own marked
// and first, and the particulars of the one selected.
class CertificatePickerDialog : public recipients::CertificatePicker {
  public:
    explicit CertificatePickerDialog(const OwnerWindow& owner) : owner_(owner) {}

    std::optional<platform::Certificate> Pick(const platform::PersonalStore& store,
                                              const std::string& displayString) override;

  private:
    const OwnerWindow& owner_;
};

// The selected certificate's particulars as the picker shows them.
QString CertificateDetails(const platform::Certificate& certificate);

}  // namespace mirebolt::ui
