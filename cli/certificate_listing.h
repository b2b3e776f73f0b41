#pragma once

#include <cstdio>

#include "platform/certificate.h"

namespace mirebolt::cli {

// Writes one certificate's particulars, one to a line; `ownKey` is left out when unknown.
void PrintCertificate(std::FILE* out, const platform::Certificate& certificate, const bool* ownKey);

}  // namespace mirebolt::cli
