#pragma once

namespace mirebolt::ui {

inline constexpr char kProductName[] = "Mirebolt";
inline constexpr char kMakerCredit[] = "by Quorvane";
// The maker's site: the link shows this text and opens it.
inline constexpr char kSiteAddress[] = "quorvane.example";

}  // namespace mirebolt::ui
