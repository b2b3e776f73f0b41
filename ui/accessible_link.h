#pragma once

namespace mirebolt::ui {

// Makes the window's link known to screen readers as a link that can be followed, instead of
// the plain text Qt reports for a label. Safe to call more than once.
void InstallAccessibleLinks();

}  // namespace mirebolt::ui
