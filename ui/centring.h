#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

namespace mirebolt::ui {

// Where a window of `size` goes: centred on the reference rectangle (or on the work area when
// there is none), then pushed back inside the work area, its left and top edges winning.
QPoint CentredPosition(QSize size, QRect workArea, std::optional<QRect> reference = std::nullopt);

}  // namespace mirebolt::ui
