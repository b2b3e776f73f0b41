#pragma once

#include <string>
#include <vector>

#include "base/json_writer.h"
#include "nss/certificate.h"
#include "nss/certificate_status.h"
#include "nss/personal_store.h"

namespace mirebolt::cli {

// A certificate's status as members of the object being written: "status", the text the listing
// shows ("Valid", "Expired 2021-01-01; Not trusted"), "problems", a code for each of them, and
// "fit", whether encrypt takes the certificate without --allow-invalid.
void WriteStatusMembers(platform::JsonWriter& json, const platform::CertificateStatus& status,
                        const platform::Certificate& certificate);

// `certs` as one JSON document: {"certificates": [...]}, each with what the text listing shows.
// The store whose trust judges the certificates must be open.
std::string CertificatesJson(const std::vector<platform::Certificate>& certificates,
                             const platform::StatusChecks& checks);

// `store` as one JSON document: the same, with "own" and "token" for each certificate.
std::string StoreCertificatesJson(const std::vector<platform::StoreCertificate>& entries,
                                  const platform::StatusChecks& checks);

}  // namespace mirebolt::cli
