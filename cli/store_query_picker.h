#pragma once

#include <optional>
#include <string>
#include <vector>

#include "feedback/feedback.h"
#include "recipients/certificate_picker.h"

namespace mirebolt::cli {

// Picks the one certificate of the personal store that a nickname, an e-mail address or a
// SHA-256 fingerprint (hex, with or without colons, any case) names, or else the name `store`
// shows as its heading. None, or more than one, is an error that names what was asked for.
class StoreQueryPicker : public recipients::CertificatePicker {
  public:
    StoreQueryPicker(std::string query, feedback::Feedback& feedback)
        : query_(std::move(query)), feedback_(feedback) {}

    std::optional<platform::Certificate> Pick(const platform::PersonalStore& store,
                                              const std::string& displayString) override;
    bool failed() const { return failed_; }

  private:
    std::string query_;
    feedback::Feedback& feedback_;
    bool failed_ = false;
};

// Whether the certificate answers to the query by nickname, e-mail address or fingerprint.
bool MatchesQuery(const platform::Certificate& certificate, const std::string& query);

// The one certificate of `listed` the query names, as StoreQueryPicker picks it; `which` says in
// the error what was searched ("of the personal store").
std::optional<platform::Certificate> PickByQuery(std::vector<platform::StoreCertificate> listed,
                                                 const std::string& query, const std::string& which,
                                                 feedback::Feedback& feedback);

}  // namespace mirebolt::cli
