#pragma once

namespace mirebolt::ui {

// Makes the icons compiled into this library reachable as ":/icons/...". A library linked
// statically must do so itself before the first use.
void EnsureResources();

}  // namespace mirebolt::ui
