#include "ui/centring.h"

namespace mirebolt::ui {

namespace {

// Rectangles as the centring rule counts them: right and bottom just past the last pixel.
int Place(int centreStart, int centreEnd, int length, int areaStart, int areaEnd) {
    int start = (centreStart + centreEnd) / 2 - length / 2;
    if (start + length > areaEnd) {
        start = areaEnd - length;
    }
    if (start < areaStart) {
        start = areaStart;
    }
    return start;
}

}  // namespace

QPoint CentredPosition(QSize size, QRect workArea, std::optional<QRect> reference) {
    const QRect centre = reference.value_or(workArea);
    return QPoint(Place(centre.left(), centre.left() + centre.width(), size.width(),
                        workArea.left(), workArea.left() + workArea.width()),
                  Place(centre.top(), centre.top() + centre.height(), size.height(), workArea.top(),
                        workArea.top() + workArea.height()));
}

}  // namespace mirebolt::ui
