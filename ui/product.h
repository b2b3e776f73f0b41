#pragma once

#include "base/product_facts.h"

namespace mirebolt::ui {

// The facts the window shows, under the names its code uses.
inline constexpr const char* kProductName = product::kName;
inline constexpr const char* kMakerCredit = product::kMakerCredit;
inline constexpr const char* kSiteAddress = product::kSiteAddress;
inline constexpr const char* kSiteUrl = product::kSiteUrl;

}  // namespace mirebolt::ui
