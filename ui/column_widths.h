#pragma once

namespace mirebolt::ui {

// The recipient view's column widths in pixels.
struct ColumnWidths {
    int issuedTo;
    int issuedBy;
    int expires;
    bool operator==(const ColumnWidths&) const = default;
};

// The columns' widths for a view of the given outer width: 3/8 plus 16 pixels, 3/8, and 1/4
// less 16 pixels, each share cut down to whole pixels.
constexpr ColumnWidths RecipientColumnWidths(int outerWidth) {
    const int share = 3 * outerWidth / 8;
    return {share + 16, share, outerWidth / 4 - 16};
}

}  // namespace mirebolt::ui
