#pragma once

#include <QIcon>

namespace mirebolt::ui {

// The program's icon (title bar, About box) and the recipient rows' icon, each with the images
// drawn for the sizes asked for at a scale factor of 1 and 2 (the program's icon from its SVG
// source beyond 48 px): never a small image blown up.
QIcon ApplicationIcon();
QIcon RowIcon();

}  // namespace mirebolt::ui
