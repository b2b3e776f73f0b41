#pragma once

#include <QIcon>
#include <QMessageBox>

namespace mirebolt::ui {

// The program's icon (title bar, About box) and the recipient rows' icon, each with the images
// drawn for the sizes asked for at a scale factor of 1 and 2 (the program's icon from its SVG
// source beyond 48 px): never a small image blown up.
QIcon ApplicationIcon();
QIcon RowIcon();

// The arrow of a command link and the icons of the message boxes, shown at `size` logical
// pixels: the desktop's icon theme's where it has one sharp at twice that size, else drawn from
// the program's own SVG sources. The style's own are small bitmaps, blurred on a scaled screen.
QIcon CommandLinkIcon(int size);
QIcon MessageIcon(QMessageBox::Icon kind, int size);

}  // namespace mirebolt::ui
